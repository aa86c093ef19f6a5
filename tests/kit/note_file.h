// Test DLLs and programs note what they see as lines appended to a file named by an environment
// variable; each line is written with one call, so that notes from several threads stay whole.
#pragma once
#include <windows.h>

namespace kit {

inline void append_note(const char* variable, const char* line) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA(variable, path, sizeof path)) return;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD n;
  WriteFile(f, line, static_cast<DWORD>(lstrlenA(line)), &n, nullptr);
  CloseHandle(f);
}

}  // namespace kit
