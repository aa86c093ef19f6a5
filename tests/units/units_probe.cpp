// DLL commands for the units test program: the scenario to run, and notes of what its
// handlers see, appended to the log file named by ORVEL_UNITS_LOG ("key lo hi" or
// "key=text", one per line).
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include "../kit/note_file.h"

namespace {

void append(const char* line) { kit::append_note("ORVEL_UNITS_LOG", line); }

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl probe_mode() {
  char v[16];
  if (!GetEnvironmentVariableA("ORVEL_UNITS_MODE", v, sizeof v)) return 0;
  return std::atoi(v);
}

__declspec(dllexport) void __cdecl probe_note(const char* key, int lo, int hi) {
  char line[256];
  std::snprintf(line, sizeof line, "%s %d %d\n", key ? key : "?", lo, hi);
  append(line);
}

__declspec(dllexport) void __cdecl probe_note_text(const char* key, const char* text) {
  char line[512];
  std::snprintf(line, sizeof line, "%s=%s\n", key ? key : "?", text ? text : "");
  append(line);
}

}
