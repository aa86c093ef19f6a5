// Date-time values to and from system times: whole days through the civil calendar count,
// the fraction through milliseconds of the day.
#include "units/date_values.h"
#include "runtime/civil_dates.h"
#include "runtime/crt.h"
#include <cmath>
#include <cstdint>
#include <vector>

namespace units {

namespace {

using runtime::civil_from_days;
using runtime::days_from_civil;

const int64_t kEpoch = days_from_civil(1899, 12, 30);
const double kFirst = static_cast<double>(days_from_civil(100, 1, 1) - kEpoch);
const double kLast = static_cast<double>(days_from_civil(9999, 12, 31) - kEpoch) + 0.99999999;

}  // namespace

SYSTEMTIME to_system_time(double value) {
  if (std::isnan(value) || value < kFirst) value = kFirst;
  if (value > kLast) value = kLast;
  double day = std::floor(value);
  int64_t ms = std::llround((value - day) * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  int y, m, d;
  civil_from_days(static_cast<int64_t>(day) + kEpoch, y, m, d);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wDayOfWeek = static_cast<WORD>((static_cast<int64_t>(day) % 7 + 7 + 6) % 7);  // day 0 was a Saturday
  t.wHour = static_cast<WORD>(ms / 3600000);
  t.wMinute = static_cast<WORD>(ms / 60000 % 60);
  t.wSecond = static_cast<WORD>(ms / 1000 % 60);
  t.wMilliseconds = static_cast<WORD>(ms % 1000);
  return t;
}

double from_system_time(const SYSTEMTIME& t) {
  double day = static_cast<double>(days_from_civil(t.wYear, t.wMonth, t.wDay) - kEpoch);
  double ms = ((t.wHour * 60.0 + t.wMinute) * 60.0 + t.wSecond) * 1000.0 + t.wMilliseconds;
  return day + ms / 86400000.0;
}

double today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  t.wHour = t.wMinute = t.wSecond = t.wMilliseconds = 0;
  return from_system_time(t);
}

bool parse_date_text(const std::string& text, double& out) {
  std::vector<long> numbers;
  std::vector<size_t> digits;  // how many digits each number had
  for (size_t i = 0; i < text.size();) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    size_t start = i;
    long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 9) v = v * 10 + (text[i++] - '0');
    numbers.push_back(v);
    digits.push_back(i - start);
  }
  if (numbers.size() >= 1 && digits[0] == 8) {  // 20110530 [123045]
    long d = numbers[0], t = numbers.size() >= 2 && digits[1] == 6 ? numbers[1] : 0;
    numbers = {d / 10000, d / 100 % 100, d % 100, t / 10000, t / 100 % 100, t % 100};
  }
  if (numbers.size() < 3) return false;
  numbers.resize(6, 0);
  long y = numbers[0], mo = numbers[1], d = numbers[2], h = numbers[3], mi = numbers[4], s = numbers[5];
  if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
    return false;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  double v = from_system_time(t);
  SYSTEMTIME back = to_system_time(v);
  if (back.wDay != t.wDay || back.wMonth != t.wMonth) return false;  // 31 April and the like
  out = v;
  return true;
}

std::string date_text(double value) {
  SYSTEMTIME t = to_system_time(value);
  std::string text = runtime::crt_format("%d年%d月%d日", t.wYear, t.wMonth, t.wDay);
  if (t.wSecond) text += runtime::crt_format("%d时%d分%d秒", t.wHour, t.wMinute, t.wSecond);
  else if (t.wMinute) text += runtime::crt_format("%d时%d分", t.wHour, t.wMinute);
  else if (t.wHour) text += runtime::crt_format("%d时", t.wHour);
  return text;
}

}  // namespace units
