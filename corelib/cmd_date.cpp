// Time and date commands: calendar arithmetic, differences, parts, texts, the clock and the tick
// count. Values are OLE dates read to whole seconds and clamped to the years 100..9999.
#include <windows.h>
#include <algorithm>
#include <cmath>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"

namespace corelib {

using namespace runtime;

namespace {

enum Unit { kYear = 1, kQuarter, kMonth, kWeek, kDay, kHour, kMinute, kSecond };

double date_arg(int argc, ArgRecord* args, int i) { return dates::clamp(num_double(arg_at(argc, args, i))); }

int unit_arg(int argc, ArgRecord* args, int i) { return std::clamp(int_or(argc, args, i, kYear), 1, 8); }

// Rebuilds a value from parts (clamped) with the time of day of `p`.
double rebuild(int year, int month, int day, const dates::Parts& p) {
  int h = p.hour, mi = p.minute, s = p.second;
  dates::clamp_parts(year, month, day, h, mi, s);
  return dates::make(year, month, day, h, mi, s);
}

double add_span(double v, double days) {
  return dates::clamp(dates::from_linear(dates::to_linear(v) + days));
}

int select_part(double v, int selector) {
  dates::Parts p = dates::split(v);
  switch (std::clamp(selector, 1, 10)) {
    case 1: return p.year;
    case 2: return (p.month - 1) / 3 + 1;
    case 3: return p.month;
    case 4: return (p.year_day - 1) / 7 + 1;
    case 5: return p.day;
    case 6: return p.hour;
    case 7: return p.minute;
    case 8: return p.second;
    case 9: return p.weekday;
    default: return p.year_day;
  }
}

void part_command(ResultRecord* result, int argc, ArgRecord* args, int selector) {
  set_int(result, select_part(date_arg(argc, args, 0), selector));
}

double local_now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return dates::make(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

}  // namespace

CORELIB_COMMAND(add_to_date) {
  double v = date_arg(argc, args, 0);
  int unit = unit_arg(argc, args, 1);
  int64_t n = int_or(argc, args, 2, 0);
  dates::Parts p = dates::split(v);
  switch (unit) {
    case kYear:
      v = rebuild(static_cast<int>(std::clamp<int64_t>(p.year + n, -100000, 100000)), p.month, p.day, p);
      break;
    case kQuarter:
    case kMonth: {
      int64_t months = p.month + (unit == kQuarter ? 3 * n : n);
      int64_t year = p.year;
      // Whole steps of twelve months move the year (done arithmetically, not one by one).
      int64_t steps = months >= 1 ? (months - 1) / 12 : -((12 - months) / 12);
      year += steps;
      months -= 12 * steps;
      v = rebuild(static_cast<int>(std::clamp<int64_t>(year, -100000, 100000)), static_cast<int>(months), p.day, p);
      break;
    }
    case kWeek: v = add_span(v, 7.0 * n); break;
    case kDay: v = add_span(v, static_cast<double>(n)); break;
    case kHour: v = add_span(v, n / 24.0); break;
    case kMinute: v = add_span(v, n / 1440.0); break;
    default: v = add_span(v, n / 86400.0); break;
  }
  set_double(result, v);
}

CORELIB_COMMAND(date_difference) {
  double d1 = date_arg(argc, args, 0), d2 = date_arg(argc, args, 1);
  int unit = unit_arg(argc, args, 2);
  double out = 0;
  if (d1 != d2) {
    dates::Parts p1 = dates::split(d1), p2 = dates::split(d2);
    double days = dates::to_linear(d1) - dates::to_linear(d2);
    switch (unit) {
      case kYear: out = p1.year - p2.year; break;
      case kQuarter:
        out = (p1.month - 1) / 3 + 4 * (p1.year - p2.year) - (p2.month - 1) / 3;
        break;
      case kMonth: out = 12 * (p1.year - p2.year) + p1.month - p2.month; break;
      case kWeek: {
        double weeks = std::trunc(days / 7);
        if (d1 > d2 && p1.weekday < p2.weekday) weeks += 1;
        if (d1 < d2 && p2.weekday < p1.weekday) weeks -= 1;
        out = weeks;
        break;
      }
      case kDay: out = days; break;
      case kHour: out = std::trunc(days * 24 + dates::kHalfSecond); break;
      case kMinute: out = std::trunc(days * 1440 + dates::kHalfSecond); break;
      default: out = std::trunc(days * 86400 + dates::kHalfSecond); break;
    }
  }
  set_double(result, out);
}

CORELIB_COMMAND(days_in_month) {
  set_int(result, dates::days_in_month(int_or(argc, args, 0, 0), int_or(argc, args, 1, 0)));
}

CORELIB_COMMAND(date_to_text) {
  set_text(result, dates::to_text(date_arg(argc, args, 0), int_or(argc, args, 1, 1)));
}

CORELIB_COMMAND(date_part) { part_command(result, argc, args, int_or(argc, args, 1, 1)); }
CORELIB_COMMAND(year_of) { part_command(result, argc, args, 1); }
CORELIB_COMMAND(month_of) { part_command(result, argc, args, 3); }
CORELIB_COMMAND(day_of) { part_command(result, argc, args, 5); }
CORELIB_COMMAND(weekday_of) { part_command(result, argc, args, 9); }
CORELIB_COMMAND(hour_of) { part_command(result, argc, args, 6); }
CORELIB_COMMAND(minute_of) { part_command(result, argc, args, 7); }
CORELIB_COMMAND(second_of) { part_command(result, argc, args, 8); }

CORELIB_COMMAND(make_date) {
  int y = int_or(argc, args, 0, 1), mo = int_or(argc, args, 1, 1), d = int_or(argc, args, 2, 1);
  int h = int_or(argc, args, 3, 0), mi = int_or(argc, args, 4, 0), s = int_or(argc, args, 5, 0);
  dates::clamp_parts(y, mo, d, h, mi, s);
  set_double(result, dates::make(y, mo, d, h, mi, s));
}

CORELIB_COMMAND(now) { set_double(result, local_now()); }

CORELIB_COMMAND(set_system_time) {
  dates::Parts p = dates::split(date_arg(argc, args, 0));
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wDayOfWeek = static_cast<WORD>(p.weekday - 1);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  // The system clock starts in 1601: earlier dates cannot be set.
  set_bool(result, p.year >= 1601 && SetLocalTime(&st) != 0);
}

CORELIB_COMMAND(tick_count) { set_int(result, static_cast<int32_t>(GetTickCount())); }

CORELIB_COMMAND(date_only) {
  dates::Parts p = dates::split(date_arg(argc, args, 0));
  set_double(result, dates::make(p.year, p.month, p.day, 0, 0, 0));
}

CORELIB_COMMAND(time_only) {
  dates::Parts p = dates::split(date_arg(argc, args, 0));
  set_double(result, dates::make(2000, 1, 1, p.hour, p.minute, p.second));
}

}  // namespace corelib
