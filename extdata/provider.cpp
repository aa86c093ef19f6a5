// Lazy loading of the provider module and lookups by name.
#include "extdata/provider.h"
#include <windows.h>
#include <string>
#include "extdata/connect_strings.h"

namespace extdata {

namespace {

struct Module {
  bool located = false;
  std::string path;      // emptied when loading failed: nothing is tried again
  HMODULE handle = nullptr;
};

Module& module() {
  static Module m;
  return m;
}

// The executable's folder with its trailing "\" + the module's name and extension.
std::string module_path() {
  char exe[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return {};
  std::string path(exe, n);
  size_t slash = last_backslash(path);
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  return path + sqlbridge::kModuleName + sqlbridge::kModuleExtension;
}

}  // namespace

void* provider_function(const char* name) {
  Module& m = module();
  if (!m.located) {
    m.located = true;
    m.path = module_path();
  }
  if (!m.handle) {
    if (m.path.empty()) return nullptr;
    // No dialog of the system's for a module that is missing or broken.
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    m.handle = LoadLibraryA(m.path.c_str());
    SetErrorMode(old_mode);
    if (!m.handle) {
      m.path.clear();
      return nullptr;
    }
  }
  return reinterpret_cast<void*>(GetProcAddress(m.handle, name));
}

}  // namespace extdata
