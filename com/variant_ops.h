// Variant values: the kinds table, copying, setting and reading as the system's types, and
// automation arrays (create, bounds, elements, to and from byte sets and system arrays).
// Every function sets the last object error.
#pragma once
#include <cstdint>
#include "com/convert.h"

namespace com {

// The kinds (the variant type data type's values).
enum Kind : int {
  kKindEmpty = 0, kKindNumber = 1, kKindText = 2, kKindLogical = 3, kKindDate = 4,
  kKindObject = 5, kKindError = 6,
  kKindArrayFirst = 7,      // 7..12: arrays of kinds 1..6
  kKindVariantArray = 13,
  kKindOther = -1,
};

int kind_of(const VARIANT* v);
void copy_variant(VARIANT* to, const VARIANT* from);
void clear_variant(VARIANT* v);
// Stores a value of any system type (or an object or variant); with `kind` >= 0 it is then
// converted to that kind (kinds 0..6, or the array kind it already has).
bool set_variant(VARIANT* v, const runtime::ArgRecord& value, int kind);
// Reads the variant as a result kind (text, number, logical, date-time, object, variant).
void read_variant(const VARIANT* v, ResultKind kind, runtime::ResultRecord* r);
// A byte array (any bounds and dimensions) as a byte set.
void read_bytes(const VARIANT* v, runtime::ResultRecord* r);
// An array as a system array block of `element_type` (0: by the array's kind); the result's
// type word names the array type.
void read_array(const VARIANT* v, uint32_t element_type, runtime::ResultRecord* r);

// Arrays: kind 7..13, one size per dimension, indexes from 0.
bool create_array(VARIANT* v, int kind, const int32_t* sizes, int dims);
int dimension_count(const VARIANT* v);
// Lower or upper bound of dimension `dim` (1-based); 0 with an error when there is none.
int32_t bound(const VARIANT* v, int dim, bool upper);
// Element at the indexes (one per dimension, within the bounds), as a new variant block.
void get_element(const VARIANT* v, const int32_t* index, int count, runtime::ResultRecord* r);
bool set_element(VARIANT* v, const runtime::ArgRecord& value, const int32_t* index, int count);

}  // namespace com
