// A control file for the component registration tests: self-registration that registers
// nothing with the system, only marks this process (LIBTEST_REGISTERED) and the log.
#include <windows.h>
#include "../kit/note_file.h"

namespace {

void log(const char* text) { kit::append_note("LIBTEST_LOG", text); }

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() {
  SetEnvironmentVariableA("LIBTEST_REGISTERED", "1");
  log("register\n");
  return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  SetEnvironmentVariableA("LIBTEST_REGISTERED", nullptr);
  log("unregister\n");
  return S_OK;
}
