// The proleptic Gregorian calendar as a count of days: civil dates to day numbers and back,
// day 0 being 1970-01-01. Date-time values count their days from 1899-12-30 (kOleEpochDay).
// Every subsystem that splits or builds date-times takes its days from here.
#pragma once
#include <cstdint>

namespace runtime {

constexpr int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr void civil_from_days(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// The day number of 1899-12-30, day 0 of date-time values.
inline constexpr int64_t kOleEpochDay = days_from_civil(1899, 12, 30);
static_assert(kOleEpochDay == -25569);

}  // namespace runtime
