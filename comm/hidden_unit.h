// What the communication units share as window units: a hidden child window of a private
// class that only carries their messages, the design-mode flag of the create call, and the
// lookup of a unit named by a command's unit argument.
#pragma once
#include <windows.h>
#include <new>
#include "units/unit_base.h"

namespace comm {

class HiddenUnit : public units::Unit {
 public:
  bool design() const { return design_; }
  void set_design(bool design) { design_ = design; }

 protected:
  // Creates the hidden child window of class `cls` (registered on first use), with a border
  // in design mode.
  bool create_hidden(const char* cls, const units::CreateArgs& a);
  // True when this object still owns `h` after an event handler ran (the handler may have
  // destroyed the unit, and with it this object).
  bool still_here(HWND h) const { return h && units::Unit::from_window(h) == this; }

 private:
  bool design_ = false;
};

// The live unit named by a unit argument (window and unit identifiers), or null.
units::Unit* find_live_unit(uint32_t window, uint32_t unit);

// The create operation of a communication unit: as the framework's, and it keeps the
// design-mode flag (the last argument) before the window is made.
template <class T>
void* __cdecl create_hidden_unit(const uint8_t* data, uint32_t length, uint32_t style,
                                 HWND parent, uint32_t control_id, HMENU menu, int left, int top,
                                 int width, int height, uint32_t window_id, uint32_t unit_id,
                                 uint32_t, uint32_t design) {
  T* unit = new (std::nothrow) T;
  if (!unit) return nullptr;
  unit->set_ids(window_id, unit_id);
  unit->set_design(design != 0);
  units::DataReader reader(data, length);
  units::CreateArgs a{data, length, style, parent, control_id, menu, left, top, width, height,
                      window_id, unit_id};
  if (!unit->load(reader) || !reader.ok() || !unit->create_window(a)) {
    unit->dispose();
    return nullptr;
  }
  return static_cast<framework::Window*>(unit);
}

// The live unit of type T named by a unit argument, or null.
template <class T>
T* find_unit(uint32_t window, uint32_t unit) {
  units::Unit* u = find_live_unit(window, unit);
  return u ? dynamic_cast<T*>(u) : nullptr;
}

}  // namespace comm
