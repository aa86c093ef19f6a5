// Fixture program: raises one failure of event dispatch or property access (chosen by the
// command line) against a window record built in memory, so that the run-time error shows.
#include <windows.h>
#include <cstdlib>
#include "runtime/runtime.h"
#include "runtime/notify.h"
#include "units/events.h"
#include "units/framework.h"
#include "abi/unit_type.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  units::install();
  static units::WindowTemplate w;
  w.id = 0x52010001;
  units::Entry own, font;
  own.id = 0x06010000;
  own.type = units::kWindowType;
  font.id = 0x16010002;
  font.type = 0x10004;  // the font type: not a window unit
  w.entries = {own, font};
  runtime::rt().templates.push_back(&w);
  units::EventRecord r{};
  switch (std::atoi(command_line)) {
    case 1: r = {0x52019999, 0, 0}; units::raise_event(r); break;
    case 2: r = {0x52010001, 0x16019999, 0}; units::raise_event(r); break;
    case 3: r = {0x52010001, 0x16010002, 0}; units::raise_event(r); break;
    case 4: units::read_property(0x52019999, 0, 0, -1); break;
    case 5: runtime::notify(2007, 0x52010001, 0x16010002); break;
    default: break;
  }
  return 7;
}
