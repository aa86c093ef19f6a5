// Notifications of contained units for containers that are not core units (a container unit
// of another library): its window is subclassed so that the command, colour, notify, scroll
// and owner-draw messages of its child units go back to them, as core containers do.
#pragma once
#include <windows.h>

namespace units {

// Subclasses `container` once; messages that are not for a child unit go on unchanged.
void reflect_to_units(HWND container);

}  // namespace units
