// The runtime object (constructed during process initialisation, before program main): its
// idle handler, the registered idle routines and the internal entries of the core commands.
#include "image/runtime.h"
#include <algorithm>
#include "image/shutdown.h"

namespace image {

namespace {
Runtime g_runtime;
}

Runtime& rt() { return g_runtime; }

void Runtime::init_instance() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(main_module, path, MAX_PATH);
  std::string full(path, n < MAX_PATH ? n : 0);
  module_dir = full.substr(0, full.rfind('\\') + 1);
  addon_paths[1] = module_dir + "sqlbridge.vsx";
}

void Runtime::exit_instance() { shutdown(0); }

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

}  // namespace image
