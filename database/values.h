// Field values and their stored bytes: what a field read gives for each type (logical as
// 0/1, date-times clamped, texts up to their first zero byte), and the stored form of a value
// written to a field, with the type check (numbers convert among the numeric types).
#pragma once
#include <cstdint>
#include <string>
#include "database/engine.h"

namespace database {

// The value of a field from its stored bytes (`stored` holds the field's bytes, or for a
// memo or byte set its value).
Value value_from_stored(const FieldDescriptor& d, const std::string& stored);

// The stored form of `v` for the field (a memo or byte set: its value): 0 or -72.
int32_t stored_from_value(const FieldDescriptor& d, const Value& v, std::string& out);

}  // namespace database
