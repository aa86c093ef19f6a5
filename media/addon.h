// The audio add-on module "audiodec.vsx" beside the runtime: loaded on first use (released at
// shutdown with the other add-on modules). Its players are its own; the runtime only hands
// the current one back through the module's `RemovePlayer` export when sounds stop.
#pragma once
#include <windows.h>

namespace media {

// `void __stdcall RemovePlayer(void* player)`, exported by name.
using RemovePlayerRoutine = void(__stdcall*)(void* player);

// The module, loaded from the runtime's add-on path on first use; null when it is not there.
HMODULE addon_module();
// The player of the module that plays now (null: none), set by whoever created it.
void set_addon_player(void* player);
void* addon_player();
// Hands the current player to the module's `RemovePlayer` and forgets it. False when there
// was none or the module or its export is missing (the player is forgotten even so).
bool remove_addon_player();

}  // namespace media
