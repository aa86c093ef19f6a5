// The core library's own descriptor and data type table, its information entry and its
// library notification routine.
#pragma once
#include <cstdint>
#include "abi/descriptor.h"

namespace corelib {

using units::PropertyDescriptor;
using units::UnitTypeEntry;
using units::kCoreTypeCount;

inline constexpr char kCoreSignature[] = "5b1e07c2a94d4f3e8c61d0a7f2b83e19";

// The core library's descriptor and data type table (entries 2..51 are filled at start-up by
// the unit framework).
LibDescriptor& core_descriptor();
UnitTypeEntry* core_types();

// The core library's information entry (GetNewInf): returns its descriptor.
extern "C" LibDescriptor* __stdcall get_new_inf() asm("orvel_get_new_inf");

// The library notification routine of the core library (descriptor field 31).
int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t v2);

// Operations behind library notification codes 2 and 13, installed by the unit framework:
// code 2 hands value 2 to an operation of the unit object in value 1; code 13 redraws the
// unit object in value 1 (1 on success). Unset, code 2 answers 0 and code 13 answers 0.
struct UnitOperations {
  int32_t (*hand_value)(uint32_t object, uint32_t value) = nullptr;
  int32_t (*redraw)(uint32_t object) = nullptr;
};
UnitOperations& unit_operations();

}  // namespace corelib
