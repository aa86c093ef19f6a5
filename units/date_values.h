// Date-time values of the date units: a double counting days from 30 December 1899, the
// fraction being the time of day, clamped to the years 100 to 9999; the controls take and
// give SYSTEMTIME.
#pragma once
#include <windows.h>
#include <string>

namespace units {

// The system time of a date-time value (clamped into the years 100..9999; not-a-number is
// the earliest date).
SYSTEMTIME to_system_time(double value);
// The date-time value of a system time, to the millisecond.
double from_system_time(const SYSTEMTIME& t);
// Today's date, midnight, as a date-time value.
double today();

// The date-time of a text: its numbers in order as year, month, day, hour, minute, second,
// whatever separates them ("2011-5-30 12:30:45", "2011年5月30日12时30分45秒"), or the digits
// of "20110530 123045"; false when there is no valid date.
bool parse_date_text(const std::string& text, double& out);
// The core library's text of a date-time: "%d年%d月%d日", then "%d时%d分%d秒", "%d时%d分" or
// "%d时" as far as the time is not 0.
std::string date_text(double value);

}  // namespace units
