// Bridge module for the loader tests (built as ctlbridge.vsx; objbridge.vsx is built without
// InitCtl2). InitCtl2 answers by the component text it is handed:
//   "{FAIL..."  always the error text "测试组件未注册";
//   "{REG..."   that error until the test control's DllRegisterServer ran in this process;
//   "{id}#major.minor#locale"  that error while the type library is not registered;
//   otherwise   success: a descriptor whose signature is the component text, data word 0x5151.
// Library notifications 1 and 6 are appended to the file named by LIBTEST_LOG, if set.
#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "../kit/note_file.h"
#include "abi/descriptor.h"
#include "abi/values.h"

namespace {

char g_signature[256];

void log(const char* text) { kit::append_note("LIBTEST_LOG", text); }

int32_t __cdecl library_notify(int32_t code, uint32_t v1, uint32_t) {
  char line[64];
  std::snprintf(line, sizeof line, "bridge notify %d %X\n", int(code), code == 1 ? 0u : unsigned(v1));
  if (code == 1 || code == 6) log(line);
  return 0;
}

void __cdecl command0(runtime::ResultRecord* r, int argc, runtime::ArgRecord* args) {
  r->lo = 2000 + uint32_t(argc) * 100 + (argc > 0 ? args[0].lo : 0);
}

runtime::CommandRoutine g_commands[] = {command0};

corelib::LibDescriptor g_descriptor = {
    corelib::kDescriptorFormat, g_signature, 1, 0, 1, 3, 7, 3, 7, "测试组件", 1, "", 0,
    "", "", "", "", "", "", "", "", 0, nullptr, 0, nullptr, 0, nullptr, g_commands, nullptr,
    nullptr, library_notify, nullptr, nullptr, 0, nullptr, nullptr,
};

}  // namespace

extern "C" const char* __cdecl InitCtl2(const char* text, corelib::LibDescriptor** descriptor,
                                        uint32_t* data) {
  char flag[4];
  if (std::strncmp(text, "{FAIL", 5) == 0) return "测试组件未注册";
  if (std::strncmp(text, "{REG", 4) == 0 &&
      !GetEnvironmentVariableA("LIBTEST_REGISTERED", flag, sizeof flag))
    return "测试组件未注册";
  if (const char* hash = std::strchr(text, '#')) {  // a type library: ask the system
    wchar_t id[64] = {};
    MultiByteToWideChar(CP_ACP, 0, text, int(hash - text), id, 63);
    GUID guid;
    ITypeLib* library = nullptr;
    if (FAILED(IIDFromString(id, &guid)) || FAILED(LoadRegTypeLib(guid, 1, 0, 0, &library)))
      return "测试类型库未注册";
    library->Release();
  }
  lstrcpynA(g_signature, text, sizeof g_signature);
  *descriptor = &g_descriptor;
  *data = 0x5151;
  return nullptr;
}

extern "C" int __cdecl NotABridgeEntry() { return 0; }
