/* 计时提醒 (Countdown): enter minutes and a reminder, press 开始; the window counts down
   once a second and, when the time is up, shows the reminder, beeps and puts "时间到" in its
   title. 停止 stops it. The window template is in countdown.orv. */
#include "orvel.h"

#define WINDOW 0x52010001
#define OWN 0x06010000 /* the window's own unit: its title */
#define MINUTES 0x16010003
#define REMINDER 0x16010005
#define START 0x16010006
#define REMAINING 0x16010007
#define STATUS 0x16010008
#define TICKER 0x16010009

#define TITLE "计时提醒"
enum { SECONDS = 8 };         /* the date commands' unit "second" */
enum { MAX_MINUTES = 1440 };  /* one day */

ORV_DLL_COMMAND(int, __stdcall, message_beep, 0, (unsigned kind));

static double end_time; /* when the countdown ends (a date-time); 0 while stopped */
static char line[512];  /* texts put together for a caption */

/* line := a + b + c. */
static const char* join(const char* a, const char* b, const char* c) {
  const char* parts[3] = {a, b, c};
  uint32_t n = 0;
  for (int i = 0; i < 3; ++i)
    for (const char* p = parts[i]; p && *p && n + 1 < sizeof line; ++p) line[n++] = *p;
  line[n] = 0;
  return line;
}

static void set_caption(uint32_t unit_is_status, const char* text) {
  if (unit_is_status)
    ORV_SET_TEXT(WINDOW, STATUS, ORV_PROP_LABEL_CAPTION, text);
  else
    ORV_SET_TEXT(WINDOW, REMAINING, ORV_PROP_LABEL_CAPTION, text);
}

/* A command's text result copied into `line` behind `prefix`, and freed. */
static const char* join_result(const char* prefix, orv_value text, const char* suffix) {
  join(prefix, orv_as_text(text), suffix);
  orv_free(orv_as_text(text));
  return line;
}

static orv_value now(void) { return ORV_CORE_AS(ORV_TYPE_DATETIME, ORV_CMD_NOW); }

/* "mm:ss": minutes as they are (two digits at least), seconds always two digits. */
static void show_remaining(int32_t seconds) {
  char minutes[16], secs[16];
  orv_value m = ORV_CORE(ORV_CMD_TO_TEXT, orv_int(seconds / 60));
  join_result(seconds / 60 < 10 ? "0" : "", m, "");
  for (int i = 0; (minutes[i] = line[i]) != 0 && i < 15; ++i) {}
  orv_value s = ORV_CORE(ORV_CMD_TO_TEXT, orv_int(seconds % 60));
  join_result("0", s, "");
  join_result("", ORV_CORE(ORV_CMD_RIGHT_TEXT, orv_text(line), orv_int(2)), "");
  for (int i = 0; (secs[i] = line[i]) != 0 && i < 15; ++i) {}
  set_caption(0, join(minutes, ":", secs));
}

static void stop(const char* status) {
  end_time = 0;
  ORV_SET_INT(WINDOW, TICKER, ORV_PROP_TIMER_INTERVAL, 0);
  ORV_SET_TEXT(WINDOW, START, ORV_PROP_BUTTON_CAPTION, "开始");
  set_caption(1, status);
}

static void time_is_up(void) {
  char* reminder = ORV_GET_TEXT(WINDOW, REMINDER, ORV_PROP_EDIT_CONTENT);
  orv_value trimmed = ORV_CORE_AS(ORV_TYPE_TEXT, ORV_CMD_TRIM_BOTH, orv_text(reminder));
  orv_free(reminder);
  show_remaining(0);
  if (ORV_CORE(ORV_CMD_TEXT_LENGTH, trimmed).lo == 0) {
    orv_free(orv_as_text(trimmed));
    stop("时间到");
  } else {
    stop(join_result("时间到：", trimmed, ""));
  }
  ORV_SET_TEXT(WINDOW, OWN, ORV_PROP_WINDOW_TITLE, "时间到 - " TITLE);
  message_beep(0x40); /* MB_ICONINFORMATION */
}

/* Whole seconds left, rounded up, so that the display reaches 00:00 when the time is up. */
static int32_t seconds_left(void) {
  double left = orv_as_double(ORV_CORE(ORV_CMD_DATE_DIFFERENCE, orv_datetime(end_time), now(),
                                       orv_int(SECONDS)));
  int32_t whole = (int32_t)left;
  return whole + (left > whole ? 1 : 0);
}

/* The button: starts a countdown from the minutes given, or stops the running one. */
ORV_HANDLER(NOTHING, on_start_click) {
  if (end_time != 0) {
    stop("已停止");
    return;
  }
  char* text = ORV_GET_TEXT(WINDOW, MINUTES, ORV_PROP_EDIT_CONTENT);
  double minutes = orv_as_double(ORV_CORE(ORV_CMD_TO_NUMBER, orv_text(text)));
  orv_free(text);
  if (!(minutes > 0 && minutes <= MAX_MINUTES)) {
    set_caption(1, "请输入 0 到 1440 之间的分钟数");
    return;
  }
  int32_t seconds = (int32_t)(minutes * 60 + 0.5);
  if (seconds < 1) seconds = 1;
  orv_value end = ORV_CORE_AS(ORV_TYPE_DATETIME, ORV_CMD_ADD_TO_DATE, now(), orv_int(SECONDS),
                              orv_int(seconds));
  end_time = orv_as_double(end);
  set_caption(1, join_result("结束于 ", ORV_CORE(ORV_CMD_DATE_TO_TEXT, end, orv_int(3)), ""));
  ORV_SET_TEXT(WINDOW, START, ORV_PROP_BUTTON_CAPTION, "停止");
  ORV_SET_TEXT(WINDOW, OWN, ORV_PROP_WINDOW_TITLE, TITLE);
  show_remaining(seconds);
  ORV_SET_INT(WINDOW, TICKER, ORV_PROP_TIMER_INTERVAL, 200);
}

/* The timer, five times a second while counting. */
ORV_HANDLER(NOTHING, on_tick) {
  if (end_time == 0) return;
  int32_t left = seconds_left();
  if (left <= 0)
    time_is_up();
  else
    show_remaining(left);
}

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(WINDOW));
  orv_message_loop(0);
  return 0;
}
