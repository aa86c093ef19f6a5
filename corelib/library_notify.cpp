// The core library's notification routine: how the runtime talks to the library.
#include "corelib/library_notify.h"
#include <cstring>
#include <new>
#include "corelib/descriptor.h"
#include "database/cipher.h"
#include "database/file.h"

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
    case 10: {  // a file object enciphered from offset v2 on with the password text v1
      auto* file = new (std::nothrow) database::DbFile;
      if (file) file->set_cipher(v1 ? reinterpret_cast<const char*>(v1) : "", v2);
      return static_cast<int32_t>(reinterpret_cast<uintptr_t>(file));
    }
    case 11:
      delete reinterpret_cast<database::DbFile*>(v1);
      return 0;
    case 12: {  // the password digest of text v1 into the 33-byte buffer v2
      if (!v2) return 0;
      std::string d = database::password_digest(v1 ? reinterpret_cast<const char*>(v1) : "");
      std::memcpy(reinterpret_cast<char*>(v2), d.c_str(), d.size() + 1);
      return 0;
    }
    default:  // codes 8 (no interface identifiers here) and every unknown code
      return -1;
  }
}

}  // namespace corelib
