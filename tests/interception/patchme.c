/* A module whose own imports of LoadLibraryA, FreeLibrary and GetProcAddress the interception
   patches when it is loaded through the intercepted LoadLibraryA. */
#include <windows.h>

HMODULE pm_load(const char* path) { return LoadLibraryA(path); }
BOOL pm_free(HMODULE module) { return FreeLibrary(module); }
FARPROC pm_proc(HMODULE module, const char* name) { return GetProcAddress(module, name); }

BOOL WINAPI pm_entry(HINSTANCE module, DWORD reason, void* reserved) {
  (void)module; (void)reason; (void)reserved;
  return TRUE;
}
