// Runtime state the framework keeps beside each window record while its window is loaded:
// the copy of the entry block taken at load, and the windows a modal load disabled.
#pragma once
#include <windows.h>
#include <utility>
#include <vector>
#include "units/templates.h"

namespace units {

struct WindowState {
  bool has_copy = false;
  std::vector<Entry> entries_copy;                   // restored when the window is destroyed
  std::vector<std::pair<HWND, bool>> disabled;       // windows a modal load disabled
  bool modal = false;
};

WindowState& state_of(const WindowTemplate& w);
// Ends a modal run: the windows it disabled get their remembered enabled state back.
void end_modal(WindowState& s);
// Whether a unit is being created anew in place (its destruction is then not reported).
bool recreating();
// Whether the window being created is loaded modally (its owner depends on it).
bool loading_modal();

}  // namespace units
