// Shared helpers of the core commands: width folding and the date-time rules.
#include "corelib/cmd_support.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include "runtime/civil_dates.h"
#include "runtime/crt.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace corelib {

std::string file_bytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using namespace runtime;

std::string half_width(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      continue;
    }
    if (i + 1 >= text.size() || text[i + 1] == 0) break;  // a lead byte at the end ends the text
    uint8_t t = static_cast<uint8_t>(text[++i]);
    if (b == 0xA3 && t >= 0xA1 && t <= 0xFE) {
      out += static_cast<char>(t & 0x7F);
    } else if (b == 0xA1 && t == 0xA1) {
      out += ' ';
    } else if (b == 0xA1 && t == 0xAB) {
      out += '~';
    } else if (b == 0xA1 && (t == 0xEE || t == 0xEF)) {
      out += '*';
    } else {
      out += static_cast<char>(b);
      out += static_cast<char>(t);
    }
  }
  return out;
}

std::string full_width(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b >= 0x80) {
      if (i + 1 >= text.size() || text[i + 1] == 0) break;
      out += static_cast<char>(b);
      out += text[++i];
    } else if (b == ' ') {
      out += "\xA1\xA1";
    } else if (b == '~') {
      out += "\xA1\xAB";
    } else if (b >= 0x21 && b <= 0x7D) {
      out += '\xA3';
      out += static_cast<char>(b | 0x80);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
namespace dates {
namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

using runtime::civil_from_days;
using runtime::days_from_civil;
constexpr int64_t kOleEpoch = runtime::kOleEpochDay;

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Reads up to `max` digits; missing digits give 0.
int read_digits(std::string_view s, size_t& i, int max) {
  int v = 0;
  for (int n = 0; n < max && i < s.size() && s[i] >= '0' && s[i] <= '9'; ++n) v = v * 10 + (s[i++] - '0');
  return v;
}

// Skips one separator: a byte of `bytes`, or the two-byte character `word`.
void skip_separator(std::string_view s, size_t& i, const char* bytes, const char* word) {
  if (i >= s.size()) return;
  if (s.substr(i, 2) == word) {
    i += 2;
  } else if (strchr(bytes, s[i]) != nullptr && s[i] != 0) {
    ++i;
  }
}

}  // namespace

// The lower bound is checked on the linear count: -657434.25 is 06:00 of the first valid day
// (a negative date's time runs forward from its midnight), not a time before it.
double clamp(double v) {
  if (std::isnan(v)) return kMax;
  if (to_linear(v) < kMin) return kMin;
  return v > kMax ? kMax : v;
}

double to_linear(double v) {
  double day = std::trunc(v);
  return v >= 0 ? v : day + (day - v);
}

double from_linear(double v) {
  double day = std::floor(v);
  double frac = v - day;
  return day >= 0 ? v : day - frac;
}

Parts split(double v) {
  v = clamp(v);
  v += v > 0 ? kHalfSecond : -kHalfSecond;
  int64_t days = static_cast<int64_t>(v);
  double time = std::fabs(v);
  int secs = static_cast<int>((time - std::floor(time)) * 86400.0);
  if (secs > 86399) secs = 86399;
  Parts p{};
  civil_from_days(days + kOleEpoch, p.year, p.month, p.day);
  p.hour = secs / 3600;
  p.minute = secs / 60 % 60;
  p.second = secs % 60;
  int64_t wd = (days + kOleEpoch + 4) % 7;  // 1 January 1970 was a Thursday
  if (wd < 0) wd += 7;
  p.weekday = static_cast<int>(wd) + 1;
  p.year_day = static_cast<int>(days + kOleEpoch - days_from_civil(p.year, 1, 1)) + 1;
  return p;
}

bool clamp_parts(int& y, int& mo, int& d, int& h, int& mi, int& s) {
  int y0 = y, mo0 = mo, d0 = d, h0 = h, mi0 = mi, s0 = s;
  y = clamp_int(y, 100, 9999);
  mo = clamp_int(mo, 1, 12);
  d = clamp_int(d, 1, 31);
  d = std::min(d, days_in_month(y, mo));
  h = clamp_int(h, 0, 23);
  mi = clamp_int(mi, 0, 59);
  s = clamp_int(s, 0, 59);
  return y == y0 && mo == mo0 && d == d0 && h == h0 && mi == mi0 && s == s0;
}

double make(int y, int mo, int d, int h, int mi, int s) {
  double days = static_cast<double>(days_from_civil(y, mo, d) - kOleEpoch);
  double time = (h * 3600 + mi * 60 + s) / 86400.0;
  return days >= 0 ? days + time : days - time;
}

int days_in_month(int year, int month) {
  if (year < 100 || year > 9999 || month < 1 || month > 12) return 0;
  return month == 2 && leap(year) ? 29 : kMonthDays[month - 1];
}

bool read_text(std::string_view text, double* out) {
  std::string s = half_width(text);
  if (s.empty()) return false;
  size_t i = 0;
  int y = read_digits(s, i, 4);
  skip_separator(s, i, "-./:", "年");
  int mo = read_digits(s, i, 2);
  skip_separator(s, i, "-./:", "月");
  int d = read_digits(s, i, 2);
  skip_separator(s, i, " -./:", "日");
  int h = read_digits(s, i, 2);
  skip_separator(s, i, "-./:", "时");
  int mi = read_digits(s, i, 2);
  skip_separator(s, i, "-./:", "分");
  int sec = read_digits(s, i, 2);
  if (i < s.size() && s.substr(i, 2) != "秒") return false;
  if (!clamp_parts(y, mo, d, h, mi, sec)) return false;
  *out = make(y, mo, d, h, mi, sec);
  return true;
}

std::string to_text(double v, int form) {
  form = clamp_int(form, 1, 3);
  Parts p = split(v);
  std::string out;
  if (form != 3) out = crt_format("%d年%d月%d日", p.year, p.month, p.day);
  if (form == 3 || (form == 1 && p.second != 0))
    out += crt_format("%d时%d分%d秒", p.hour, p.minute, p.second);
  else if (form == 1 && p.minute != 0)
    out += crt_format("%d时%d分", p.hour, p.minute);
  else if (form == 1 && p.hour != 0)
    out += crt_format("%d时", p.hour);
  return out;
}

}  // namespace dates
}  // namespace corelib
