// Shared helpers of the core commands: argument reading, result blocks, width folding, dates.
#include "corelib/cmd_support.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include "runtime/crt.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace corelib {

using namespace runtime;

namespace {

const ArgRecord kOmitted{};

bool needs_free(uint32_t type) {
  return type == kTypeText || type == kTypeBin || is_array(type);
}

void set_array(ResultRecord* r, const std::string_view* items, size_t n, bool texts) {
  auto* block = static_cast<uint32_t*>(allocate(static_cast<uint32_t>(8 + 4 * n)));
  block[0] = 1;
  block[1] = static_cast<uint32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    void* p = texts ? static_cast<void*>(new_text(items[i])) : new_bin(items[i]);
    block[2 + i] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
  }
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
}

}  // namespace

double bits_double(const ArgRecord& a) {
  uint64_t u = static_cast<uint64_t>(a.hi) << 32 | a.lo;
  double d;
  memcpy(&d, &u, 8);
  return d;
}

float bits_float(const ArgRecord& a) {
  float f;
  memcpy(&f, &a.lo, 4);
  return f;
}

Arg::Arg(const ArgRecord& record) : rec_(record) {
  if (record.type == kTypeSubStmt) {
    rec_ = evaluate_substmt(record);
    owned_ = needs_free(rec_.type);
  }
}

Arg::~Arg() {
  if (!owned_) return;
  if (is_array(rec_.type)) {
    // An array of texts or byte sets owns its element blocks.
    auto* block = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(rec_.lo));
    uint32_t el = element_type(rec_.type);
    if (block && (el == kTypeText || el == kTypeBin)) {
      uint32_t d = block[0], count = 1;
      for (uint32_t i = 0; i < d; ++i) count *= block[1 + i];
      for (uint32_t i = 0; i < count; ++i)
        free_block(reinterpret_cast<void*>(static_cast<uintptr_t>(block[1 + d + i])));
    }
  }
  free_block(reinterpret_cast<void*>(static_cast<uintptr_t>(rec_.lo)));
}

const ArgRecord& arg_at(int argc, const ArgRecord* args, int i) {
  return (i >= 0 && i < argc && args) ? args[i] : kOmitted;
}

bool is_numeric(uint32_t type) {
  switch (type) {
    case kTypeByte: case kTypeShort: case kTypeInt:
    case kTypeLong: case kTypeFloat: case kTypeDouble:
      return true;
    default:
      return false;
  }
}

int64_t trunc64(double v) {
  if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(v);
}

double num_double(const ArgRecord& record) {
  Arg arg(record);
  const ArgRecord& a = arg.record();
  switch (a.type) {
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<int16_t>(a.lo);
    case kTypeInt: case kTypeBool: return static_cast<int32_t>(a.lo);
    case kTypeLong: return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo));
    case kTypeFloat: return bits_float(a);
    case kTypeDouble: case kTypeDateTime: return bits_double(a);
    default: return 0;
  }
}

int64_t num_long(const ArgRecord& record) {
  Arg arg(record);
  const ArgRecord& a = arg.record();
  switch (a.type) {
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<int16_t>(a.lo);
    case kTypeInt: case kTypeBool: return static_cast<int32_t>(a.lo);
    case kTypeLong: return static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo);
    case kTypeFloat: return trunc64(bits_float(a));
    case kTypeDouble: case kTypeDateTime: return trunc64(bits_double(a));
    default: return 0;
  }
}

int32_t num_int(const ArgRecord& a) { return static_cast<int32_t>(num_long(a)); }

int32_t int_or(int argc, const ArgRecord* args, int i, int32_t fallback) {
  const ArgRecord& a = arg_at(argc, args, i);
  return a.type == kTypeNone ? fallback : num_int(a);
}

bool bool_or(int argc, const ArgRecord* args, int i, bool fallback) {
  const ArgRecord& a = arg_at(argc, args, i);
  return a.type == kTypeNone ? fallback : num_long(a) != 0;
}

const char* text_of(const ArgRecord& a) {
  if (a.type != kTypeText) return "";
  const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(a.lo));
  return p ? p : "";
}

std::string_view bin_of(const ArgRecord& a) {
  if (a.type != kTypeBin) return {};
  auto* h = reinterpret_cast<const BinHeader*>(static_cast<uintptr_t>(a.lo));
  if (!h) return {};
  return {reinterpret_cast<const char*>(h + 1), h->length};
}

void set_int(ResultRecord* r, int32_t v) { r->lo = static_cast<uint32_t>(v); }
void set_bool(ResultRecord* r, bool v) { r->lo = v ? 1 : 0; }
void set_float(ResultRecord* r, float v) { memcpy(&r->lo, &v, 4); }

void set_long(ResultRecord* r, int64_t v) {
  r->lo = static_cast<uint32_t>(v);
  r->hi = static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32);
}

void set_double(ResultRecord* r, double v) {
  uint64_t u;
  memcpy(&u, &v, 8);
  r->lo = static_cast<uint32_t>(u);
  r->hi = static_cast<uint32_t>(u >> 32);
}

char* new_text(std::string_view s) {
  if (s.empty()) return nullptr;
  auto* p = static_cast<char*>(allocate(static_cast<uint32_t>(s.size() + 1)));
  memcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}

void* new_bin(std::string_view s) {
  if (s.empty()) return nullptr;
  auto* h = static_cast<BinHeader*>(allocate(static_cast<uint32_t>(sizeof(BinHeader) + s.size())));
  h->dims = 1;
  h->length = static_cast<uint32_t>(s.size());
  memcpy(h + 1, s.data(), s.size());
  return h;
}

void set_text(ResultRecord* r, std::string_view s) {
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(new_text(s)));
}

void set_bin(ResultRecord* r, std::string_view s) {
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(new_bin(s)));
}

void set_text_array(ResultRecord* r, const std::string_view* items, size_t n) {
  set_array(r, items, n, true);
}

void set_bin_array(ResultRecord* r, const std::string_view* items, size_t n) {
  set_array(r, items, n, false);
}

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

// Days from 1 March of year 0 style civil count; 30 December 1899 is day 0 of OLE dates.
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

const int64_t kOleEpoch = days_from_civil(1899, 12, 30);

void civil_from_days(int64_t z, int& y, int& m, int& d) {
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
