/* Test program written in C: the start-up routine calls every service entry and a spread of
   core commands and notes the results through a DLL command; handlers of each return kind
   are bound to real unit events (cprog.orv). Mode 1 ends with a run-time error. */
#include "orvel.h"
#include "cprog.h"

ORV_DLL_COMMAND(int, __cdecl, probe_mode, 0, (void));
ORV_DLL_COMMAND(void, __cdecl, probe_note, 1, (const char* key, const char* text));
ORV_DLL_COMMAND(void, __cdecl, probe_note_int, 2, (const char* key, int32_t value));
ORV_DLL_COMMAND(int, __stdcall, add_std, 3, (int a, int b));
ORV_DLL_COMMAND(int, __cdecl, add_cdecl, 4, (int a, int b));

/* Zero-initialised writable data: the image's var section. */
static int32_t close_requests;
static char heap_note[16];

void note_int(const char* key, int32_t value) { probe_note_int(key, value); }
void note_text(const char* key, const char* text) { probe_note(key, text); }

/* A command's text result, noted and freed. */
static void note_result_text(const char* key, orv_value v) {
  note_text(key, orv_as_text(v));
  orv_free(orv_as_text(v));
}

ORV_HANDLER(NOTHING, on_finalise) { note_text("finalised", "1"); }

/* Edit box character event (-11): the runtime types the returned character instead. */
ORV_HANDLER(INTEGER, on_edit_char, int32_t ch) {
  note_int("char", ch);
  return ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch;
}

/* Close event of the window: the first request is refused (logical false). */
ORV_HANDLER(LOGICAL, on_close) {
  ++close_requests;
  note_int("close", close_requests);
  return close_requests > 1;
}

static void heap_check(void) {
  char* p = orv_allocate(4);
  p[0] = 'o', p[1] = 'k', p[2] = 0;
  p = orv_resize(p, 4000);
  p[3999] = 1;
  for (int i = 0; p[i]; ++i) heap_note[i] = p[i];
  orv_free(p);
  note_text("heap", heap_note);
}

static void commands(void) {
  note_int("len", (int32_t)ORV_CORE(ORV_CMD_TEXT_LENGTH, orv_text("中文abc")).lo);
  orv_value a[] = {orv_text("中文abc")};
  note_int("lib_len", (int32_t)ORV_LIBRARY_CALL(0, ORV_CMD_TEXT_LENGTH, 1, a).lo);
  note_result_text("to_text", ORV_CORE(ORV_CMD_TO_TEXT, orv_double(1234.5)));
  note_int("to_integer", (int32_t)ORV_CORE(ORV_CMD_TO_INTEGER, orv_text("  -12abc")).lo);
  note_int("find", (int32_t)ORV_CORE(ORV_CMD_FIND_TEXT, orv_text("hello world"), orv_text("world")).lo);
  orv_value day = ORV_CORE_AS(ORV_TYPE_DATETIME, ORV_CMD_MAKE_DATE, orv_int(2026), orv_int(12), orv_int(10));
  note_int("year", (int32_t)ORV_CORE(ORV_CMD_YEAR_OF, day).lo);
  note_int("weekday", (int32_t)ORV_CORE(ORV_CMD_WEEKDAY_OF, day).lo);
  note_int("tick", ORV_CORE(ORV_CMD_TICK_COUNT).lo != 0);
  note_int("add_std", add_std(2, 3));
  note_int("add_cdecl", add_cdecl(4, 5));
  int64_t big = (int64_t)ORV_CORE(ORV_CMD_TEXT_LENGTH, orv_text("abc")).lo * 1000000007LL;
  note_int("div64", (int32_t)(big / 7));
  note_int("mod64", (int32_t)(big % 7));
  sub_statements();
}

ORV_STARTUP(start) {
  int mode = probe_mode();
  orv_set_finalise(ORV_ROUTINE(on_finalise));
  if (mode == 1) orv_report_error(4);
  heap_check();
  commands();
  orv_load_startup(ORV_ID(WINDOW));
  ORV_SET_TEXT(WINDOW, LABEL, ORV_PROP_LABEL_CAPTION, "你好");
  char* caption = ORV_GET_TEXT(WINDOW, LABEL, ORV_PROP_LABEL_CAPTION);
  note_text("caption", caption);
  orv_free(caption);
  note_int("label_width", ORV_GET_INT(WINDOW, LABEL, ORV_PROP_WIDTH));
  orv_message_loop(0);
  note_text("loop", "returned");
  return 7;
}
