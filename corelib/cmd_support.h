// Shared helpers of the core commands: reading argument records, writing results (texts, byte
// sets, arrays), half-width folding, and the date-time rules that several families use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include "abi/values.h"

namespace corelib {

using runtime::ArgRecord;
using runtime::ResultRecord;

// A parameter that takes either a value or a variable: when compiled code passes a variable,
// the record's type code is moved into the otherwise unused class 0x40000000..0x7FFFFFFF
// (bit 31 cleared, bit 30 set) and the low word holds the variable's address.
constexpr uint32_t kVariableMark = 0x40000000;
constexpr uint32_t variable_type(uint32_t type) { return (type & 0x3FFFFFFF) | kVariableMark; }

// An argument made ready to read: a sub-statement is evaluated (its text or byte set is freed
// when the Arg goes away); other records are read as they stand.
class Arg {
 public:
  explicit Arg(const ArgRecord& record);
  ~Arg();
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;

  uint32_t type() const { return rec_.type; }
  bool given() const { return rec_.type != runtime::kTypeNone; }
  const ArgRecord& record() const { return rec_; }

 private:
  ArgRecord rec_;
  bool owned_ = false;
};

// The i-th argument, or an omitted record when the call has fewer.
const ArgRecord& arg_at(int argc, const ArgRecord* args, int i);
inline bool given(int argc, const ArgRecord* args, int i) {
  return arg_at(argc, args, i).type != runtime::kTypeNone;
}

bool is_numeric(uint32_t type);  // the six number types
// The value slot read as the bits of a Double (both words) or a Float (low word).
double bits_double(const ArgRecord& a);
float bits_float(const ArgRecord& a);
// Numbers of any width, logicals and date-times read as a double / as a truncated integer.
// Other types read as 0. (A sub-statement is evaluated first.)
double num_double(const ArgRecord& a);
int32_t num_int(const ArgRecord& a);
int64_t num_long(const ArgRecord& a);
// Integer argument with a default when omitted.
int32_t int_or(int argc, const ArgRecord* args, int i, int32_t fallback);
bool bool_or(int argc, const ArgRecord* args, int i, bool fallback);

// Text and byte-set arguments (never null by contract; a null pointer or another type reads
// as empty).
const char* text_of(const ArgRecord& a);
std::string_view bin_of(const ArgRecord& a);

// Truncates toward zero to 64 bits (NaN and out-of-range give the integer indefinite).
int64_t trunc64(double v);

// Round to decimals: halves (and values within 1e-12 below a half) round away from zero.
double round_to_places(double x, int places);

// Results.
void set_int(ResultRecord* r, int32_t v);
void set_long(ResultRecord* r, int64_t v);
void set_double(ResultRecord* r, double v);
void set_float(ResultRecord* r, float v);
void set_bool(ResultRecord* r, bool v);
void set_text(ResultRecord* r, std::string_view s);  // empty gives null
void set_bin(ResultRecord* r, std::string_view s);   // empty gives null
// New runtime blocks: a text (null for empty) and a byte set (null for empty).
char* new_text(std::string_view s);
void* new_bin(std::string_view s);
// Array block {1, n, pointers...} of texts or byte sets (null elements for empty ones).
void set_text_array(ResultRecord* r, const std::string_view* items, size_t n);
void set_bin_array(ResultRecord* r, const std::string_view* items, size_t n);

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
