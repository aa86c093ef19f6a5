// DLL command resolution with the system-library search order and "#" ordinals.
#include "image/dll_commands.h"
#include <cstring>
#include <string>
#include "runtime/runtime.h"
#include "runtime/errors.h"

namespace image {

namespace {

const char* const kSystemLibraries[] = {"Kernel32.dll", "Gdi32.dll",  "User32.dll",
                                        "Advapi32.dll", "Mpr.dll",    "Shell32.dll"};

FARPROC look_up(HMODULE module, const char* function) {
  if (!module) return nullptr;
  if (uint32_t ordinal = ordinal_of(function))
    return GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  return GetProcAddress(module, function);
}

// The messages are built into one buffer, so that the frames the error leaves behind hold
// nothing to release.
char g_message[1024];

[[noreturn]] void missing_export(const char* file, const char* function) {
  if (file && *file)
    wsprintfA(g_message, "无法找到指定DLL库文件“%.400s”中的输出命令“%.400s”", file, function);
  else
    wsprintfA(g_message, "无法找到指定DLL库文件中的输出命令“%.400s”", function);
  runtime::raise_error(g_message, 0);
}

HMODULE find_system_library(const char* function, FARPROC* address) {
  for (const char* name : kSystemLibraries) {
    HMODULE m = LoadLibraryA(name);
    if (!m) continue;
    if ((*address = look_up(m, function))) return m;
    FreeLibrary(m);
  }
  return nullptr;
}

HMODULE find_named_library(const char* file) {
  runtime::Runtime& r = runtime::rt();
  if (!std::strchr(file, ':')) {
    std::string tries[3] = {r.dll_directory.empty() ? "" : r.dll_directory + file,
                            r.program_dir + "\\" + file, r.module_dir + file};
    for (const std::string& path : tries)
      if (!path.empty())
        if (HMODULE m = LoadLibraryA(path.c_str())) return m;
  }
  return LoadLibraryA(file);
}

void* resolve_override(runtime::DllCommand& c) {
  runtime::Runtime& r = runtime::rt();
  HMODULE module = r.module_override.module;
  std::string name = r.module_override.function.empty() ? c.function : r.module_override.function;
  r.module_override = {};
  if (FARPROC p = look_up(module, name.c_str())) return reinterpret_cast<void*>(p);
  static char missing[512];
  lstrcpynA(missing, name.c_str(), sizeof missing);
  missing_export(nullptr, missing);
}

}  // namespace

uint32_t ordinal_of(const char* function) {
  if (!function || function[0] != '#' || !function[1]) return 0;
  uint32_t n = 0;
  for (const char* p = function + 1; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    n = n * 10 + uint32_t(*p - '0');
  }
  return n & 0xFFFF;
}

void* resolve_dll_command(uint32_t index) {
  runtime::Runtime& r = runtime::rt();
  if (index >= r.dll_commands.size()) runtime::raise_error("无效的DLL命令", 0);
  runtime::DllCommand& c = r.dll_commands[index];
  if (r.module_override.module) return resolve_override(c);
  if (c.address) return c.address;
  const char* file = c.file ? c.file : "";
  const char* function = c.function ? c.function : "";
  FARPROC address = nullptr;
  HMODULE module;
  if (!*file) {
    module = find_system_library(function, &address);
  } else {
    module = find_named_library(file);
    address = look_up(module, function);
  }
  if (!address) {
    if (module) FreeLibrary(module);
    missing_export(file, function);
  }
  c.module = module;
  c.address = reinterpret_cast<void*>(address);
  return c.address;
}

}  // namespace image

extern "C" void* orvel_resolve_dll_command(uint32_t index) asm("orvel_resolve_dll_command");
void* orvel_resolve_dll_command(uint32_t index) {
  return runtime::guarded([&] { return image::resolve_dll_command(index); });
}
