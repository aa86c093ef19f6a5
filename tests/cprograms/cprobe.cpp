// DLL commands for the C test program: its mode, notes of what it sees ("key=text" lines in
// the file named by ORVEL_MARKS), and two additions with either calling convention.
#include <windows.h>
#include <cstdio>
#include <cstdlib>

namespace {

void append(const char* line) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("ORVEL_MARKS", path, sizeof path)) return;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD n;
  WriteFile(f, line, static_cast<DWORD>(lstrlenA(line)), &n, nullptr);
  CloseHandle(f);
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl probe_mode() {
  char v[16];
  return GetEnvironmentVariableA("ORVEL_MODE", v, sizeof v) ? std::atoi(v) : 0;
}

__declspec(dllexport) void __cdecl probe_note(const char* key, const char* text) {
  char line[512];
  std::snprintf(line, sizeof line, "%s=%s\n", key ? key : "?", text ? text : "(null)");
  append(line);
}

__declspec(dllexport) void __cdecl probe_note_int(const char* key, int value) {
  char line[256];
  std::snprintf(line, sizeof line, "%s=%d\n", key ? key : "?", value);
  append(line);
}

__declspec(dllexport) int __stdcall add_std(int a, int b) { return a + b; }
__declspec(dllexport) int __cdecl add_cdecl(int a, int b) { return a + b; }

}
