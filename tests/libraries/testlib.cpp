// Support library files for the loader tests: one source, built once per variant (LIB_KIND picks
// a row of the variant table), each a real DLL exporting GetNewInf with the descriptor layout.
// Library notifications 1 and 6 are appended to the file named by LIBTEST_LOG, if set.
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include "../kit/note_file.h"
#include "abi/descriptor.h"
#include "abi/values.h"

#ifndef LIB_KIND
#define LIB_KIND 0
#endif

namespace {

struct Variant {
  uint32_t format;
  const char* signature;
  int32_t language;
  int32_t core_major, core_minor;  // required core library version
  uint32_t state_flags;
  const char* name;
};

constexpr char kSignature[] = "a1b2c3d4e5f60718293a4b5c6d7e8f90";
const Variant kVariants[] = {
    {corelib::kDescriptorFormat, kSignature, 1, 5, 0, 0, "测试好库"},                         // 0 good
    {corelib::kDescriptorFormat, kSignature, 3, 3, 7, 0, "港台语言库"},                       // 1 language 3
    {corelib::kDescriptorFormat, kSignature, 1, 5, 1, 0, "新核心库"},                         // 2 needs core 5.1
    {corelib::kDescriptorFormat, "ffffffffffffffffffffffffffffffff", 1, 3, 7, 0, "错签名库"}, // 3 other signature
    {corelib::kDescriptorFormat, kSignature, 1, 3, 7, 4, "无运行库"},                         // 4 state flag bit 2
    {20000100, kSignature, 1, 3, 7, 0, "旧格式库"},                                          // 5 other format
    {corelib::kDescriptorFormat, kSignature, 2, 3, 7, 0, "旧核心库"},                         // 6 needs core 3.7, English
};
const Variant& kThis = kVariants[LIB_KIND];

void log(const char* text) { kit::append_note("LIBTEST_LOG", text); }

using RuntimeNotify = int64_t(__cdecl*)(int32_t, uint32_t, uint32_t);
RuntimeNotify g_runtime = nullptr;

int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t v2) {
  char line[64];
  std::snprintf(line, sizeof line, "notify %d %u\n", int(code), code == 1 ? 0u : unsigned(v1));
  if (code == 1 || code == 6) log(line);
  if (code == 1) g_runtime = reinterpret_cast<RuntimeNotify>(v1);
  (void)v2;
  return 0;
}

// Command 0: 1000 + argument count x 100 + the first argument's low word; its result block
// round trip through the runtime's allocator proves the notification routine was handed over.
void __cdecl command0(runtime::ResultRecord* r, int argc, runtime::ArgRecord* args) {
  void* block = g_runtime ? reinterpret_cast<void*>(uintptr_t(g_runtime(2024, 16, 0))) : nullptr;
  if (!block) return;
  g_runtime(2025, uint32_t(uintptr_t(block)), 0);
  r->lo = 1000 + uint32_t(argc) * 100 + (argc > 0 ? args[0].lo : 0);
}

// Command 1: asks the runtime for the unit type entry of the data type code in the first
// argument (which loads the owning library if it is only recorded); 3000 + 1 when the test
// library "core37lib.vlr" is loaded afterwards, else 3000.
void __cdecl command1(runtime::ResultRecord* r, int argc, runtime::ArgRecord* args) {
  if (!g_runtime || argc < 1) return;
  g_runtime(1002, args[0].lo, 0);
  r->lo = 3000 + (GetModuleHandleA("core37lib.vlr") ? 1 : 0);
}

runtime::CommandRoutine g_commands[] = {command0, command1};

corelib::LibDescriptor g_descriptor = {
    kThis.format, kThis.signature, 1, 0, 1, 3, 7, kThis.core_major, kThis.core_minor,
    kThis.name, kThis.language, "", kThis.state_flags, "", "", "", "", "", "", "", "",
    0, nullptr, 0, nullptr, 0, nullptr, g_commands, nullptr, nullptr, library_notify,
    nullptr, nullptr, 0, nullptr, nullptr,
};

}  // namespace

extern "C" corelib::LibDescriptor* __stdcall GetNewInf() { return &g_descriptor; }
extern "C" int __stdcall NotTheInfoEntry() { return 0; }
