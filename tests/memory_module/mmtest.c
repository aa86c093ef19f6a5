/* Module run by the in-memory loader tests: pointer data that needs relocation, imports by name
   (kernel32) and by ordinal (mmord), exports by name and by ordinal, and an entry whose attach
   and detach leave a trace in the environment variable MMTEST_STATE. */
#include <windows.h>

int ord_add(int a, int b); /* mmord, ordinal 7 */

static int counter;
static int* const counter_ref = &counter;
static const char* const words[] = {"alpha", "beta", "gamma"};

int mm_sum(int a, int b) { return ord_add(a, b); }
const char* mm_word(int i) { return words[i % 3]; }
int mm_bump(void) { return ++*counter_ref; }
int mm_secret(void) { return 0x5EC2E7; }

BOOL WINAPI mm_entry(HINSTANCE module, DWORD reason, void* reserved) {
  char refuse[4];
  (void)module; (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    if (GetEnvironmentVariableA("MMTEST_REFUSE", refuse, sizeof refuse)) return FALSE;
    SetEnvironmentVariableA("MMTEST_STATE", "attached");
  } else if (reason == DLL_PROCESS_DETACH) {
    SetEnvironmentVariableA("MMTEST_STATE", "detached");
  }
  return TRUE;
}
