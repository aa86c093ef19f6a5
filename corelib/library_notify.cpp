// The core library's notification routine: how the runtime talks to the library.
#include "corelib/library_notify.h"
#include "corelib/descriptor.h"

namespace corelib {

namespace {

runtime::NotifyRoutine g_runtime_notify = nullptr;
UnitOperations g_unit_operations;

}  // namespace

runtime::NotifyRoutine runtime_notify() { return g_runtime_notify; }
UnitOperations& unit_operations() { return g_unit_operations; }

int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t v2) {
  switch (code) {
    case 1:  // the runtime hands over its notification routine
      g_runtime_notify = reinterpret_cast<runtime::NotifyRoutine>(v1);
      return 0;
    case 2:
      return g_unit_operations.hand_value ? g_unit_operations.hand_value(v1, v2) : 0;
    case 13:
      return g_unit_operations.redraw ? g_unit_operations.redraw(v1) : 0;
    default:  // codes 8 (no interface identifiers here) and every unknown code
      return -1;
  }
}

}  // namespace corelib
