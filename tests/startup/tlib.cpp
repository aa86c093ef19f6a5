// A support library file for the tests: its descriptor, two commands, and the runtime
// notification routine it is handed when loaded.
#include <windows.h>
#include <cstdint>
#include <cstring>
#include "abi/descriptor.h"
#include "runtime/notify.h"

namespace {

using runtime::ArgRecord;
using runtime::ResultRecord;

runtime::NotifyRoutine g_notify = nullptr;

int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t) {
  if (code == 1) g_notify = reinterpret_cast<runtime::NotifyRoutine>(v1);
  return 0;
}

// Command 0: the program directory as a new text.
void __cdecl program_directory(ResultRecord* r, int, ArgRecord*) {
  auto* dir = reinterpret_cast<const char*>(uintptr_t(g_notify(2003, 0, 0)));
  size_t n = std::strlen(dir);
  auto* text = reinterpret_cast<char*>(uintptr_t(g_notify(2024, uint32_t(n + 1), 0)));
  std::memcpy(text, dir, n + 1);
  r->lo = uint32_t(uintptr_t(text));
  r->type = runtime::kTypeText;
}

// Command 1: argument count x 100 + the first argument's low word.
void __cdecl count_and_first(ResultRecord* r, int argc, ArgRecord* args) {
  r->lo = uint32_t(argc * 100) + (argc > 0 ? args[0].lo : 0);
}

// Command 2: the program's two icons as the runtime hands them out: bit 0 large, bit 1 small.
void __cdecl program_icons(ResultRecord* r, int, ArgRecord*) {
  uint32_t icons[2] = {0, 0};
  g_notify(1000, uint32_t(uintptr_t(icons)), 0);
  r->lo = (icons[0] ? 1 : 0) | (icons[1] ? 2 : 0);
}

runtime::CommandRoutine g_commands[] = {program_directory, count_and_first, program_icons};

corelib::LibDescriptor g_descriptor = {
    corelib::kDescriptorFormat, "0123456789abcdef0123456789abcdef", 1, 0, 1, 3, 7, 3, 7,
    "测试支持库", 1, "", 0, "", "", "", "", "", "", "", "", 0, nullptr, 0, nullptr, 0, nullptr,
    g_commands, nullptr, nullptr, library_notify, nullptr, nullptr, 0, nullptr, nullptr,
};

}  // namespace

extern "C" corelib::LibDescriptor* __stdcall GetNewInf() { return &g_descriptor; }
