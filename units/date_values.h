// Date-time values of the date units: a double counting days from 30 December 1899, the
// fraction being the time of day, clamped to the years 100 to 9999; the controls take and
// give SYSTEMTIME.
#pragma once
#include <windows.h>

namespace units {

// The system time of a date-time value (clamped into the years 100..9999; not-a-number is
// the earliest date).
SYSTEMTIME to_system_time(double value);
// The date-time value of a system time, to the millisecond.
double from_system_time(const SYSTEMTIME& t);
// Today's date, midnight, as a date-time value.
double today();

}  // namespace units
