// Values between the program's argument records and automation variants: arguments in
// (values, or variables read through their addresses), results and output parameters out.
#pragma once
#include "com/ole_types.h"
#include "abi/values.h"

namespace com {

enum class Widen {
  kCallArgument,  // a call's argument: a Long passes its low 32 bits; byte sets and arrays refused
  kVariantValue,  // a value stored in a variant: Long stays 64-bit; byte sets and arrays become
                  // automation arrays
};

// The argument as a variant (a new value the caller clears). An omitted argument is the
// parameter-not-found marker. kOk, kBadArgumentType, or kTypeMismatch for an unusable array.
int to_variant(const runtime::ArgRecord& a, VARIANT* out, Widen widen);

// The result kinds of commands.
enum class ResultKind { kNone, kVariant, kText, kNumber, kLogical, kDate, kObject };
// Stores `value` converted to the kind into the result record (a new block for texts, objects
// and variants). kOk, or kResultMismatch with the kind's empty value stored.
int put_result(const VARIANT& value, ResultKind kind, runtime::ResultRecord* r);
void put_empty(ResultKind kind, runtime::ResultRecord* r);

// Writes `value` into the program variable a variable-marked record names, converted to the
// variable's type. kOk, kBadArgumentType (not a variable) or kTypeMismatch.
int write_variable(const runtime::ArgRecord& variable, const VARIANT& value);

// One system value of `type` (a basic type) stored at `at`, as a variant / from a variant.
int element_to_variant(uint32_t type, const void* at, VARIANT* out, Widen widen);
int variant_to_element(uint32_t type, const VARIANT& value, void* at);

// The variant with references taken off.
const VARIANT* deref(const VARIANT* v);

// What SafeArrayPutElement takes for a value of the array's element type `vt` held in `v`:
// the variant itself for variant arrays, the pointer for strings and interfaces, else the
// address of the value.
void* element_data(VARTYPE vt, VARIANT* v);

}  // namespace com
