// Operations on values: type classes and parts of a type code, sub-statement evaluation.
#pragma once
#include <cstdint>
#include "abi/values.h"

namespace runtime {

enum class TypeClass {
  kNone,     // 0: no value, an omitted argument
  kSystem,   // 0x80000000..0xBFFFFFFF: a basic type (or an array of one)
  kLibrary,  // 0x00000001..0x3FFFFFFF, 0xC0000000..0xFFFFFFFF: a library's own type
  kOther,    // 0x40000000..0x7FFFFFFF: no type lives here
};

constexpr TypeClass type_class(uint32_t type) {
  int32_t v = static_cast<int32_t>(type);
  if (v == 0) return TypeClass::kNone;
  if (type >= 0x80000000u && type <= 0xBFFFFFFFu) return TypeClass::kSystem;
  if (type >= 0x40000000u && type <= 0x7FFFFFFFu) return TypeClass::kOther;
  return TypeClass::kLibrary;
}

constexpr bool is_array(uint32_t type) { return (type & kArrayBit) != 0; }
constexpr uint32_t element_type(uint32_t type) { return type & kTypeMask; }

// A library type code: (library number + 1) << 16 | 1-based type number.
constexpr uint32_t library_type(uint32_t library_number, uint32_t type_number) {
  return (library_number + 1) << 16 | type_number;
}
// Library number (0 = core) of a library type code, array bit ignored.
constexpr uint32_t library_of(uint32_t type) { return ((type & kTypeMask) >> 16) - 1; }
// 1-based index into the library's data type table.
constexpr uint32_t type_number_of(uint32_t type) { return type & 0xFFFF; }

// True for the twelve basic types (no array bit).
bool is_basic_type(uint32_t type);

// Calls a sub-statement's routine through call_compiled (EAX = its context word, ECX = EDX = 0,
// no stack arguments) and returns what it yields (value and type code), unchecked.
ArgRecord call_substmt(const ArgRecord& substmt);
// Evaluates a sub-statement argument for a command: no data, or data that is neither a basic
// type nor an array, is the run-time error of code 7. A returned text or byte set belongs to
// the caller.
ArgRecord evaluate_substmt(const ArgRecord& substmt);
// Evaluates a sub-statement used as a condition: anything but `Bool` is a run-time error.
bool evaluate_condition(const ArgRecord& substmt);

}  // namespace runtime
