/* Windows and units at run time, from a running program: find a unit by its tag, whether a
   unit exists, load window, window messages sent and posted, processing waiting messages,
   and the unit of the current event. Every answer is noted through the probe DLL. */
#include "orvel.h"

ORV_DLL_COMMAND(int, __cdecl, probe_mode, 0, (void));
ORV_DLL_COMMAND(void, __cdecl, probe_note, 1, (const char* key, const char* text));
ORV_DLL_COMMAND(void, __cdecl, probe_note_int, 2, (const char* key, int32_t value));

#define MAIN 0x52010001
#define LABEL 0x16010002
#define BUTTON 0x16010003
#define EDIT 0x16010004
#define SECOND 0x52010002
#define SECOND_LABEL 0x16020002

#define TYPE_WINDOW 0x10001
#define TYPE_EDIT 0x10005
#define TYPE_LABEL 0x1000A
#define TYPE_BUTTON 0x1000B

enum { WM_CLOSE_ = 0x10, WM_GETTEXTLENGTH_ = 0x0E, BM_CLICK_ = 0xF5 };

#define UNIT(window, unit, type) ((orv_value){ORV_ID(window), ORV_ID(unit), ORV_TYPE(type)})
#define WINDOW(window) ((orv_value){ORV_ID(window), 0, ORV_TYPE(TYPE_WINDOW)})

static void note_unit(const char* key, orv_value u) {
  char text[40];
  static const char hex[] = "0123456789abcdef";
  uint32_t words[3] = {u.lo, u.hi, u.type};
  int n = 0;
  for (int w = 0; w < 3; ++w) {
    if (w) text[n++] = ' ';
    for (int shift = 28; shift >= 0; shift -= 4) text[n++] = hex[(words[w] >> shift) & 15];
  }
  text[n] = 0;
  probe_note(key, text);
}

static int32_t exists(orv_value unit) { return (int32_t)ORV_CORE(ORV_CMD_UNIT_EXISTS, unit).lo; }

/* The button's click: the unit of the current event, then the program ends. */
ORV_HANDLER(NOTHING, on_click) {
  note_unit("event_source", ORV_CORE(ORV_CMD_EVENT_SOURCE));
  ORV_CORE(ORV_CMD_POST_MESSAGE, WINDOW(MAIN), orv_int(WM_CLOSE_), orv_int(0), orv_int(0));
}

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(MAIN));

  /* Tags read as decimal integers: "7", "abc" (0) and "12x" (12). */
  note_unit("tag_7", ORV_CORE(ORV_CMD_FIND_UNIT_BY_TAG, WINDOW(MAIN), orv_int(7)));
  note_unit("tag_0", ORV_CORE(ORV_CMD_FIND_UNIT_BY_TAG, WINDOW(MAIN), orv_int(0)));
  note_unit("tag_12", ORV_CORE(ORV_CMD_FIND_UNIT_BY_TAG, WINDOW(MAIN), orv_int(12)));

  probe_note_int("label_exists", exists(UNIT(MAIN, LABEL, TYPE_LABEL)));
  probe_note_int("main_exists", exists(WINDOW(MAIN)));
  probe_note_int("second_exists_before", exists(WINDOW(SECOND)));
  probe_note_int("second_label_before", exists(UNIT(SECOND, SECOND_LABEL, TYPE_LABEL)));

  probe_note_int("load_missing", (int32_t)ORV_CORE(ORV_CMD_LOAD_WINDOW, WINDOW(0x52010099), orv_omitted(), orv_int(0)).lo);
  probe_note_int("load_second", (int32_t)ORV_CORE(ORV_CMD_LOAD_WINDOW, WINDOW(SECOND), WINDOW(MAIN), orv_int(0)).lo);
  probe_note_int("second_label_after", exists(UNIT(SECOND, SECOND_LABEL, TYPE_LABEL)));
  note_unit("second_tag_5", ORV_CORE(ORV_CMD_FIND_UNIT_BY_TAG, WINDOW(SECOND), orv_int(5)));

  ORV_SET_TEXT(MAIN, EDIT, ORV_PROP_EDIT_CONTENT, "五个字");
  probe_note_int("edit_length", (int32_t)ORV_CORE(ORV_CMD_SEND_MESSAGE, UNIT(MAIN, EDIT, TYPE_EDIT),
                                                  orv_int(WM_GETTEXTLENGTH_), orv_int(0), orv_int(0)).lo);

  /* A posted close takes effect once the waiting messages are processed. */
  ORV_CORE(ORV_CMD_POST_MESSAGE, WINDOW(SECOND), orv_int(WM_CLOSE_), orv_int(0), orv_int(0));
  probe_note_int("second_after_post", exists(WINDOW(SECOND)));
  ORV_CORE(ORV_CMD_PROCESS_EVENTS);
  probe_note_int("second_after_events", exists(WINDOW(SECOND)));
  probe_note_int("send_to_closed", (int32_t)ORV_CORE(ORV_CMD_SEND_MESSAGE, UNIT(SECOND, SECOND_LABEL, TYPE_LABEL),
                                                      orv_int(WM_GETTEXTLENGTH_), orv_int(0), orv_int(0)).lo);

  /* The click reaches the button through the message loop. */
  ORV_CORE(ORV_CMD_POST_MESSAGE, UNIT(MAIN, BUTTON, TYPE_BUTTON), orv_int(BM_CLICK_), orv_int(0), orv_int(0));
  orv_message_loop(0);
  return 5;
}
