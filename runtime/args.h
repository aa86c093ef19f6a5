// Argument readers and result builders for every support library command and unit: argument
// records in (sub-statements evaluated, omitted arguments defaulted), numbers, texts and byte
// sets out as runtime heap blocks the caller owns.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include "abi/values.h"

namespace runtime {

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
  bool given() const { return rec_.type != kTypeNone; }
  const ArgRecord& record() const { return rec_; }

 private:
  ArgRecord rec_;
  bool owned_ = false;
};

// The i-th argument, or an omitted record when the call has fewer.
const ArgRecord& arg_at(int argc, const ArgRecord* args, int i);
inline bool given(int argc, const ArgRecord* args, int i) {
  return arg_at(argc, args, i).type != kTypeNone;
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

}  // namespace runtime
