// Test stand-in for the audio add-on module: records the players handed back to it.
#include <windows.h>

namespace {
void* g_last = nullptr;
LONG g_count = 0;
}  // namespace

extern "C" {
__declspec(dllexport) void __stdcall RemovePlayer(void* player) {
  g_last = player;
  InterlockedIncrement(&g_count);
}
__declspec(dllexport) void* __stdcall LastRemovedPlayer() { return g_last; }
__declspec(dllexport) LONG __stdcall RemovedPlayers() { return g_count; }
}
