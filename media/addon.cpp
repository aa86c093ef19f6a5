// The audio add-on module and its current player.
#include "media/addon.h"
#include "runtime/runtime.h"

namespace media {

namespace {

constexpr int kAudioAddon = 0;  // audiodec.vsx in the runtime's add-on table
void* g_player = nullptr;

}  // namespace

HMODULE addon_module() {
  runtime::Runtime& r = runtime::rt();
  HMODULE& m = r.addon_modules[kAudioAddon];
  if (!m && !r.addon_paths[kAudioAddon].empty()) m = LoadLibraryA(r.addon_paths[kAudioAddon].c_str());
  return m;
}

void set_addon_player(void* player) { g_player = player; }
void* addon_player() { return g_player; }

bool remove_addon_player() {
  void* player = g_player;
  g_player = nullptr;
  if (!player) return false;
  HMODULE m = addon_module();
  auto remove = m ? reinterpret_cast<RemovePlayerRoutine>(GetProcAddress(m, "RemovePlayer")) : nullptr;
  if (!remove) return false;
  remove(player);
  return true;
}

}  // namespace media
