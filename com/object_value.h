// Object values: the program's two-word block holding an object's base interface and an
// auxiliary word (the object's call session, released together with the interface).
//
// Object block, 8 bytes:
//   OFFSET SIZE DESCRIPTION
//     0x00    4 base interface (IUnknown), or 0 for an empty object
//     0x04    4 auxiliary word: the call session of this value (member bindings), or 0
#pragma once
#include <windows.h>
#include <ole2.h>
#include <cstddef>
#include <cstdint>
#include "abi/values.h"

namespace com {

inline constexpr uint32_t kObjectType = 0x00010030;   // the object data type
inline constexpr uint32_t kVariantType = 0x00010031;  // the variant data type

#pragma pack(push, 1)
struct ObjectValue {
  IUnknown* unknown;  // canonical base interface; owns one reference
  uint32_t aux;       // Session*, created on the first call by name
};
#pragma pack(pop)
static_assert(sizeof(ObjectValue) == 8);
static_assert(offsetof(ObjectValue, aux) == 4);
static_assert(sizeof(VARIANT) == 16, "a variant block is 16 bytes");

// The block an argument record names: the record's type (a value or a variable of the object
// or variant type) and its low word (the block's address). Null for anything else.
ObjectValue* object_arg(const runtime::ArgRecord& a);
VARIANT* variant_arg(const runtime::ArgRecord& a);
// The type a variable-marked record stands for (unchanged for a plain record).
uint32_t unmarked_type(uint32_t type);
bool is_variable(const runtime::ArgRecord& a);

// New blocks on the runtime heap, empty; the caller owns them.
ObjectValue* new_object_block();
VARIANT* new_variant_block();

bool is_empty(const ObjectValue* o);
// Stores the base interface of `any` (a new reference is taken; null empties the value) and
// releases what the value held before.
void store(ObjectValue* o, IUnknown* any);
// Releases the interface and the session; the value is left empty.
void release(ObjectValue* o);
// The session of the value, made on first use (null for an empty value).
class Session;
Session* session_of(ObjectValue* o);

// Commands on object values; each sets the last object error.
void assign(ObjectValue* to, const ObjectValue* from);
bool create(ObjectValue* o, const char* class_name, const char* type_library);
bool attach(ObjectValue* o, const char* class_name);
bool same(const ObjectValue* a, const ObjectValue* b);

// Plugs the object values into the runtime (release request 2035).
void install_object_values();

}  // namespace com
