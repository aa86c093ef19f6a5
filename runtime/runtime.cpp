// The runtime object (constructed during process initialisation, before program main): its
// idle handler, the registered idle routines and the internal entries of the core commands.
#include "runtime/runtime.h"
#include <algorithm>
#include "abi/descriptor.h"
#include "runtime/registry.h"
#include "runtime/value_ops.h"

namespace runtime {

namespace {
Runtime g_runtime;
}

Runtime& rt() { return g_runtime; }

corelib::LibDescriptor* library_descriptor(uint32_t library) {
  Runtime& r = rt();
  if (library >= r.libraries.size()) return nullptr;
  if (!r.libraries[library].descriptor) ensure_loaded(library);
  return r.libraries[library].descriptor;
}

const units::UnitTypeEntry* library_type_entry(uint32_t type) {
  type &= kTypeMask;
  if (type_class(type) != TypeClass::kLibrary || type_number_of(type) == 0) return nullptr;
  uint32_t number = type_number_of(type);
  const corelib::LibDescriptor* d = library_descriptor(library_of(type));
  if (!d || !d->types || number > uint32_t(d->type_count)) return nullptr;
  return &d->types[number - 1];
}

void Runtime::init_instance() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(main_module, path, MAX_PATH);
  std::string full(path, n < MAX_PATH ? n : 0);
  module_dir = full.substr(0, full.rfind('\\') + 1);
  addon_paths[1] = module_dir + "sqlbridge.vsx";
}

void Runtime::exit_instance() {
  if (auto fn = lifecycle().shutdown) fn(0);
}

void Runtime::set_module_override(HMODULE module, const char* function) {
  module_override.module = module;
  module_override.function = function ? function : "";
}

void Runtime::set_dll_directory(const char* directory) {
  dll_directory = directory ? directory : "";
  if (!dll_directory.empty() && dll_directory.back() != '\\') dll_directory += '\\';
}

void Runtime::set_error_handler(void* routine) { error_handler = routine; }

void Runtime::run_idle_routines() {
  // Last registered first; a routine may register or remove routines while it runs.
  for (size_t i = idle_routines.size(); i-- > 0;) {
    if (i >= idle_routines.size()) continue;
    IdleRoutine r = idle_routines[i];
    if (!IsWindow(r.window)) {
      idle_routines.erase(idle_routines.begin() + i);
      continue;
    }
    r.routine(r.argument);
  }
}

bool Runtime::on_idle(long count) {
  if (count == 0) {
    idle_start_ = GetTickCount();
    idle_finished_.clear();
    framework_idle_ = true;
  }
  if (framework_idle_) {
    if (App::on_idle(count)) return true;
    framework_idle_ = false;
  }
  if (count > 1) {
    if (!units.window_idle) return false;
    return units.window_idle(GetTickCount() - idle_start_, idle_finished_);
  }
  return true;
}

bool Runtime::modal_active() { return units.modal_active && units.modal_active(); }

}  // namespace runtime
