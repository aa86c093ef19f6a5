/* Helper module of the in-memory loader tests: exports one function by ordinal only. */
#include <windows.h>

int ord_add(int a, int b) { return a + b + 1000; }

BOOL WINAPI ord_entry(HINSTANCE module, DWORD reason, void* reserved) {
  (void)module; (void)reason; (void)reserved;
  return TRUE;
}
