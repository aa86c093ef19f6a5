// Shared helpers of the core commands: the runtime's argument readers and result builders,
// half-width folding, and the date-time rules that several families use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include "abi/values.h"
#include "runtime/args.h"

namespace corelib {

using runtime::ArgRecord;
using runtime::ResultRecord;
// The argument readers and result builders every library shares.
using runtime::kVariableMark;
using runtime::variable_type;
using runtime::Arg;
using runtime::arg_at;
using runtime::given;
using runtime::is_numeric;
using runtime::bits_double;
using runtime::bits_float;
using runtime::num_double;
using runtime::num_int;
using runtime::num_long;
using runtime::int_or;
using runtime::bool_or;
using runtime::text_of;
using runtime::bin_of;
using runtime::trunc64;
using runtime::set_int;
using runtime::set_long;
using runtime::set_double;
using runtime::set_float;
using runtime::set_bool;
using runtime::set_text;
using runtime::set_bin;
using runtime::new_text;
using runtime::new_bin;
using runtime::set_text_array;
using runtime::set_bin_array;

// Round to decimals: halves (and values within 1e-12 below a half) round away from zero.
double round_to_places(double x, int places);

// A value as text the way the to-text command gives it (numbers, logicals, date-times, texts;
// byte sets and numeric arrays up to their first zero byte; other kinds empty).
std::string text_of_value(const ArgRecord& a);
// The storage bytes of a basic value (a text without its zero byte); false for other kinds.
bool value_bytes(const ArgRecord& a, std::string* out);
// A value as the message box and debug output show it: numbers, texts, logicals and
// date-times as to-text gives them, anything else empty (a sub-statement is evaluated).
std::string shown_text(const ArgRecord& value);
// The C library's decimal reading of a text, modulo 2^64 (callers cut to their width).
uint64_t read_decimal(const std::string& s);

// The whole content of a file named by a GBK path; empty when it cannot be read.
std::string file_bytes(const char* path);

// The half-width fold of GBK texts: full-width letters, digits, signs and spaces become
// single-byte characters (0xA3 x -> x & 0x7F, 0xA1A1 -> space, 0xA1AB -> "~", stars -> "*").
std::string half_width(std::string_view text);
std::string full_width(std::string_view text);

// Date-time values: OLE dates to whole seconds, clamped to the years 100..9999.
namespace dates {
constexpr double kMin = -657434.0;
constexpr double kMax = 2958465.0;
constexpr double kHalfSecond = 5.787037037037037e-6;

struct Parts {
  int year, month, day, hour, minute, second;
  int weekday;    // 1 Sunday .. 7 Saturday
  int year_day;   // 1..366
};
double clamp(double v);                    // NaN clamps to the upper bound
Parts split(double v);                     // clamps, then reads to the nearest second
bool clamp_parts(int& y, int& mo, int& d, int& h, int& mi, int& s);  // true when none changed
double make(int y, int mo, int d, int h, int mi, int s);  // parts must be valid
int days_in_month(int year, int month);   // 0 outside 100..9999 / 1..12
bool read_text(std::string_view text, double* out);
std::string to_text(double v, int form);  // forms 1..3 (clamped)
// Days as a linear count (negative dates carry their time forward from midnight).
double to_linear(double v);
double from_linear(double v);
}  // namespace dates

}  // namespace corelib
