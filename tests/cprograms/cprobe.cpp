// DLL commands for the C test program: its mode, notes of what it sees ("key=text" lines in
// the file named by ORVEL_MARKS), and two additions with either calling convention.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "../kit/note_file.h"

namespace {

void append(const char* line) { kit::append_note("ORVEL_MARKS", line); }

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
