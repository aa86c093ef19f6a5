// A DLL for DLL command tests: an export by ordinal only.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall twelve() { return 12; }
