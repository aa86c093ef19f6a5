// DLL command for the library test programs: whether any test library file is loaded yet.
#include <windows.h>

extern "C" int __stdcall no_library_loaded() {
  static const char* const kFiles[] = {"goodlib.vlr", "goodlib.vlb", "vlbonly.vlb", "farlib.vlr", "core37lib.vlr"};
  for (const char* f : kFiles)
    if (GetModuleHandleA(f)) return 0;
  return 1;
}
