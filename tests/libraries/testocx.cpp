// A control file for the component registration tests: self-registration that registers
// nothing with the system, only marks this process (LIBTEST_REGISTERED) and the log.
#include <windows.h>

namespace {

void log(const char* text) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("LIBTEST_LOG", path, sizeof path)) return;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD n;
  WriteFile(f, text, DWORD(lstrlenA(text)), &n, nullptr);
  CloseHandle(f);
}

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
