// Time and date commands through the call-command service: the text reader (separators,
// full-width input, failures), the text forms, calendar arithmetic with month-end clamping,
// differences per unit, parts, make date-time, the clock and the tick count.
#include <gtest/gtest.h>
#include <windows.h>
#include <cmath>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

enum Slot {
  kToDateTime = 88, kAdd = 119, kDiff = 120, kDaysInMonth = 121, kToText = 122, kPart = 123,
  kYear = 124, kMonth = 125, kDay = 126, kWeekday = 127, kHour = 128, kMinute = 129, kSecond = 130,
  kMake = 131, kNow = 132, kSetTime = 133, kTicks = 194, kDateOnly = 559, kTimeOnly = 560,
};
enum Unit { kYears = 1, kQuarters, kMonths, kWeeks, kDays, kHours, kMinutes, kSeconds };

// OLE dates of a few days (days since 30 December 1899) and a time of day in days.
constexpr double k2011_05_30 = 40693, k2011_01_31 = 40574, k2011_02_28 = 40602, k2011_03_01 = 40603,
                 k2011_12_31 = 40908, k2012_01_01 = 40909, k2012_02_29 = 40968, k2013_02_28 = 41333,
                 k2010_02_01 = 40210, k2000_01_01 = 36526;
constexpr double kYear100 = -657434, kYear9999End = 2958465;
constexpr double tod(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

double date_of(const ArgRecord& r) { return as_double(r); }

}  // namespace

TEST(DateText, ReaderSeparatorsAndFailures) {
  struct Case {
    int line;
    std::string text;
    double want;
  } cases[] = {
      {__LINE__, "2011-5-30 12:30:45", k2011_05_30 + tod(12, 30, 45)},
      {__LINE__, "2011年5月30日12时30分45秒", k2011_05_30 + tod(12, 30, 45)},
      {__LINE__, "20110530 123045", k2011_05_30 + tod(12, 30, 45)},
      {__LINE__, "20110530", k2011_05_30},
      {__LINE__, "２０１１／５／３０", k2011_05_30},
      {__LINE__, "2011.5.30", k2011_05_30},
      {__LINE__, "2011/05/30/12", k2011_05_30 + tod(12, 0, 0)},
      {__LINE__, "2011-5-30 12:30:45秒后", k2011_05_30 + tod(12, 30, 45)},
      {__LINE__, "2011-2-30", kYear100},
      {__LINE__, "2011-13-1", kYear100},
      {__LINE__, "2011", kYear100},
      {__LINE__, "", kYear100},
      {__LINE__, "2011-5-30x", kYear100},
      {__LINE__, "2011-5-30 25:00", kYear100},
      {__LINE__, "99-1-1", kYear100},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(date_of(call(kToDateTime, {Text(c.text)})), c.want) << "line " << c.line;
}

TEST(DateText, ThreeForms) {
  struct Case {
    int line;
    double value;
    ArgRecord form;
    std::string want;
  } cases[] = {
      {__LINE__, k2011_05_30, Omit(), "2011年5月30日"},
      {__LINE__, k2011_05_30 + tod(12, 0, 5), Omit(), "2011年5月30日12时0分5秒"},
      {__LINE__, k2011_05_30 + tod(9, 5, 0), Int(1), "2011年5月30日9时5分"},
      {__LINE__, k2011_05_30 + tod(9, 0, 0), Int(0), "2011年5月30日9时"},
      {__LINE__, k2011_05_30 + tod(9, 5, 0), Int(2), "2011年5月30日"},
      {__LINE__, k2011_05_30, Int(3), "0时0分0秒"},
      {__LINE__, k2011_05_30 + tod(23, 59, 59), Int(7), "23时59分59秒"},
      // Half a second rounds up to the next second.
      {__LINE__, k2011_05_30 + tod(1, 2, 3) + 0.6 / 86400, Int(3), "1时2分4秒"},
      {__LINE__, -1.25, Omit(), "1899年12月29日6时"},
      {__LINE__, -1e9, Omit(), "100年1月1日"},
      {__LINE__, 1e9, Omit(), "9999年12月31日"},
      {__LINE__, std::nan(""), Int(2), "9999年12月31日"},
  };
  for (const Case& c : cases) EXPECT_EQ(take_text(call(kToText, {Date(c.value), c.form})), c.want) << "line " << c.line;
}

TEST(DateArithmetic, AddWithMonthEndClamping) {
  struct Case {
    int line;
    double value;
    int unit;
    int amount;
    double want;
  } cases[] = {
      {__LINE__, k2011_01_31, kMonths, 1, k2011_02_28},
      {__LINE__, k2012_02_29, kYears, 1, k2013_02_28},
      {__LINE__, k2011_03_01, kMonths, -13, k2010_02_01},
      {__LINE__, k2011_01_31 + tod(8, 30, 0), kMonths, 1, k2011_02_28 + tod(8, 30, 0)},
      {__LINE__, k2011_12_31, kQuarters, 1, k2012_01_01 + 90},
      {__LINE__, k2011_12_31, kDays, 1, k2012_01_01},
      {__LINE__, k2011_12_31, kWeeks, -1, k2011_12_31 - 7},
      {__LINE__, k2011_12_31, kHours, 36, k2012_01_01 + 0.5},
      {__LINE__, k2011_12_31, kMinutes, -90, k2011_12_31 - 1 + tod(22, 30, 0)},
      {__LINE__, k2011_12_31, kSeconds, 86400, k2012_01_01},
      {__LINE__, k2011_12_31, 99, 1, k2011_12_31 + 1 / 86400.0},
      {__LINE__, k2011_12_31, -5, 1, k2012_01_01 + 365},
      // Across zero: 1 hour before 30 December 1899 01:00 is 00:00, and 2 hours is 29 Dec 23:00.
      {__LINE__, tod(1, 0, 0), kHours, -2, -1 - tod(23, 0, 0)},
      {__LINE__, kYear9999End, kYears, 5, kYear9999End},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(date_of(call(kAdd, {Date(c.value), Int(c.unit), Int(c.amount)})), c.want, 1e-9) << "line " << c.line;
}

TEST(DateArithmetic, DifferencesPerUnit) {
  struct Case {
    int line;
    double d1, d2;
    int unit;
    double want;
  } cases[] = {
      {__LINE__, k2012_01_01, k2011_12_31, kYears, 1},
      {__LINE__, k2012_01_01, k2011_12_31, kDays, 1},
      {__LINE__, k2012_01_01, k2011_12_31, kQuarters, 1},
      {__LINE__, k2012_01_01, k2011_12_31, kMonths, 1},
      {__LINE__, k2011_12_31, k2012_01_01, kMonths, -1},
      {__LINE__, k2012_01_01, k2012_01_01, kDays, 0},
      {__LINE__, k2012_01_01 + 0.5, k2011_12_31, kDays, 1.5},
      {__LINE__, k2012_01_01, k2011_12_31, kHours, 24},
      {__LINE__, k2012_01_01, k2011_12_31 + tod(0, 0, 1), kSeconds, 86399},
      {__LINE__, k2012_01_01, k2011_12_31 + tod(0, 30, 0), kMinutes, 1410},
      // Weeks: 1 January 2012 is a Sunday (1), 31 December 2011 a Saturday (7).
      {__LINE__, k2012_01_01, k2011_12_31, kWeeks, 1},
      {__LINE__, k2011_12_31, k2012_01_01, kWeeks, -1},
      {__LINE__, k2012_01_01 + 14, k2012_01_01, kWeeks, 2},
      {__LINE__, k2012_01_01 + 13, k2012_01_01, kWeeks, 1},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(date_of(call(kDiff, {Date(c.d1), Date(c.d2), Int(c.unit)})), c.want) << "line " << c.line;
}

TEST(DateParts, PartsDaysInMonthAndMake) {
  const double t = k2011_05_30 + tod(13, 14, 15);  // a Monday, day 150 of the year
  struct Case {
    int line;
    int slot;
    std::vector<ArgRecord> args;
    int32_t want;
  } cases[] = {
      {__LINE__, kPart, {Date(t), Int(1)}, 2011},   {__LINE__, kPart, {Date(t), Int(2)}, 2},
      {__LINE__, kPart, {Date(t), Int(3)}, 5},      {__LINE__, kPart, {Date(t), Int(4)}, 22},
      {__LINE__, kPart, {Date(t), Int(5)}, 30},     {__LINE__, kPart, {Date(t), Int(6)}, 13},
      {__LINE__, kPart, {Date(t), Int(7)}, 14},     {__LINE__, kPart, {Date(t), Int(8)}, 15},
      {__LINE__, kPart, {Date(t), Int(9)}, 2},      {__LINE__, kPart, {Date(t), Int(10)}, 150},
      {__LINE__, kPart, {Date(t), Int(99)}, 150},   {__LINE__, kPart, {Date(t), Int(-1)}, 2011},
      {__LINE__, kPart, {Date(k2012_01_01), Int(9)}, 1},
      {__LINE__, kYear, {Date(t)}, 2011},           {__LINE__, kMonth, {Date(t)}, 5},
      {__LINE__, kDay, {Date(t)}, 30},              {__LINE__, kWeekday, {Date(t)}, 2},
      {__LINE__, kHour, {Date(t)}, 13},             {__LINE__, kMinute, {Date(t)}, 14},
      {__LINE__, kSecond, {Date(t)}, 15},
      {__LINE__, kDaysInMonth, {Int(1900), Int(2)}, 28}, {__LINE__, kDaysInMonth, {Int(2000), Int(2)}, 29},
      {__LINE__, kDaysInMonth, {Int(99), Int(1)}, 0},    {__LINE__, kDaysInMonth, {Int(2011), Int(13)}, 0},
      {__LINE__, kDaysInMonth, {Int(2011), Int(4)}, 30},
  };
  for (const Case& c : cases) EXPECT_EQ(static_cast<int32_t>(call(c.slot, c.args).lo), c.want) << "line " << c.line;

  struct Make {
    int line;
    std::vector<ArgRecord> args;
    double want;
  } makes[] = {
      {__LINE__, {}, kYear100},
      {__LINE__, {Int(2011), Int(5), Int(30), Int(12), Int(30), Int(45)}, k2011_05_30 + tod(12, 30, 45)},
      {__LINE__, {Int(2011), Int(2), Int(31)}, k2011_02_28},
      {__LINE__, {Int(2011), Int(14), Int(1), Int(-3), Int(75)}, k2011_12_31 - 30 + tod(0, 59, 0)},
      {__LINE__, {Omit(), Omit(), Omit(), Int(6)}, kYear100 - 0.25},  // negative: time runs forward from midnight
  };
  for (const Make& c : makes) EXPECT_DOUBLE_EQ(date_of(call(kMake, c.args)), c.want) << "line " << c.line;

  EXPECT_DOUBLE_EQ(date_of(call(kDateOnly, {Date(t)})), k2011_05_30);
  EXPECT_DOUBLE_EQ(date_of(call(kTimeOnly, {Date(t)})), k2000_01_01 + tod(13, 14, 15));
}

TEST(CoreClock, NowIsWholeSecondsOfLocalTimeAndTicksMove) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  double now = date_of(call(kNow, {}));
  double seconds = (now - std::floor(now)) * 86400;
  EXPECT_NEAR(seconds, std::round(seconds), 1e-4);
  EXPECT_EQ(static_cast<int32_t>(call(kYear, {Date(now)}).lo), before.wYear);
  DWORD ticks = GetTickCount();
  uint32_t got = call(kTicks, {}).lo;
  EXPECT_LE(got - ticks, 1000u);
}

// Only the refusal is exercised: a test must not move the machine's clock.
TEST(CoreClock, SetSystemTimeReportsADateTheClockCannotHold) {
  ArgRecord r = call(kSetTime, {Date(kYear100)});
  EXPECT_EQ(r.lo, 0u);
  EXPECT_EQ(r.type, 0u);
}
