// The object information window of the add-on module "objscope.vsx": loaded on first use
// (released at shutdown with the other add-on modules) and handed the object's interface.
#include <windows.h>
#include "com/graphics.h"
#include "com/last_error.h"
#include "runtime/runtime.h"

namespace com {

namespace {

constexpr int kObjscope = 2;  // index among the runtime's add-on modules

// call_show(routine, interface): calls a routine of one stack argument whatever convention
// it keeps (the stack pointer is restored from ESI, which both conventions preserve).
extern "C" void __cdecl com_call_show(void* routine, void* object) asm("com_call_show");
asm(R"(
    .text
com_call_show:
    pushl %esi
    movl  %esp, %esi
    pushl 12(%esi)
    call  *8(%esi)
    movl  %esi, %esp
    popl  %esi
    ret
)");

HMODULE objscope_module() {
  runtime::Runtime& rt = runtime::rt();
  if (rt.addon_modules[kObjscope]) return rt.addon_modules[kObjscope];
  std::string path = rt.addon_paths[kObjscope];
  if (path.empty()) {  // no start-up ran (a bare test program): beside the executable
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    path.assign(self, n < MAX_PATH ? n : 0);
    path = path.substr(0, path.rfind('\\') + 1) + "objscope.vsx";
  }
  rt.addon_modules[kObjscope] = LoadLibraryA(path.c_str());
  return rt.addon_modules[kObjscope];
}

}  // namespace

void show_object_info(ObjectValue* o) {
  if (is_empty(o)) return set_last_error(o ? kEmptyObject : kBadArgumentType);
  HMODULE module = objscope_module();
  void* routine = module ? reinterpret_cast<void*>(GetProcAddress(module, "ShowObjInf")) : nullptr;
  if (!routine) return set_last_error(kOtherFailure);
  com_call_show(routine, o->unknown);
  set_last_error(kOk);
}

}  // namespace com
