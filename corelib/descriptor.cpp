// The core library's descriptor and GetNewInf. Its data type table is the unit framework's.
#include "corelib/descriptor.h"
#include "corelib/routine_table.h"
#include "units/framework.h"

namespace corelib {

namespace {

void* __cdecl no_add_in(void*) { return nullptr; }

LibDescriptor g_core = {
    kDescriptorFormat, kCoreSignature, 5, 0, 64, 3, 7, 3, 7, "系统核心支持库", 1, "",
    0xC0000009, "", "", "", "", "", "", "", "",
    kCoreTypeCount, nullptr, 0, nullptr, 0, nullptr,  // types: set on first use
    const_cast<runtime::CommandRoutine*>(routine_table()), no_add_in, nullptr,
    library_notify, nullptr, nullptr, 0, nullptr, nullptr,
};

}  // namespace

LibDescriptor& core_descriptor() {
  if (!g_core.types) g_core.types = units::core_type_table();
  return g_core;
}
UnitTypeEntry* core_types() { return units::core_type_table(); }

LibDescriptor* __stdcall get_new_inf() { return &core_descriptor(); }

}  // namespace corelib
