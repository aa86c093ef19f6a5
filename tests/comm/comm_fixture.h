// Test support for the communication units: a window record in memory holding the units under
// test, loaded into real windows, with every event bound to a recorder that also reads the
// event's received data and client address through the core commands, as a handler would.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "abi/values.h"
#include "units/templates.h"

namespace commtest {

constexpr uint32_t kWindow = 0x52018001;
constexpr uint32_t kServerType = 0x10026, kClientType = 0x10025, kDatagramType = 0x10024,
                   kOldDatagramType = 0x10023, kSerialType = 0x10027;

struct Event {
  uint32_t unit;
  int event;
  uint32_t arg;         // serial events: the status code or byte
  std::string data;     // socket data events: the received data (read during the event)
  std::string client;   // server events: the client address text (read during the event)
};

// Installs the subsystems once per process (unit types, lazily bound Winsock).
void install_once();

// A unit to put into the test window: identifier, type code and type-specific data.
struct UnitDef {
  uint32_t id;
  uint32_t type;
  std::string data;
};

// The loaded test window; destroying it destroys its units.
class TestWindow {
 public:
  explicit TestWindow(const std::vector<UnitDef>& units);
  ~TestWindow();
  bool loaded() const { return loaded_; }
  HWND handle() const;
  // Destroys one unit's window (and with it the unit object).
  void destroy_unit(uint32_t unit);

 private:
  std::unique_ptr<units::WindowTemplate> w_;
  bool loaded_ = false;
};

// Events recorded since the last clear, in order.
std::vector<Event>& events();
// Runs inside every recorded handler, after the event was noted (may call commands).
void set_during_event(std::function<void(const Event&)> f);
// Lean recording (benchmarks): a data event's handler reads the received data as a program
// would (the command's block, freed at once) and notes only its length, in `arg`.
void set_lean_recording(bool lean);

// Pumps messages until `done` holds or `ms` pass; whether it holds.
bool pump_until(const std::function<bool()>& done, int ms = 5000);
void pump_for(int ms);

// Argument records and core command calls.
runtime::ArgRecord unit_arg(uint32_t unit, uint32_t type);
runtime::ArgRecord text(const std::string& s);
runtime::ArgRecord bytes(const std::string& s);
runtime::ArgRecord integer(int32_t v);
runtime::ArgRecord short_int(int16_t v);
runtime::ArgRecord real(double v);
runtime::ArgRecord omitted();
runtime::ArgRecord call(int slot, std::initializer_list<runtime::ArgRecord> args);
bool call_bool(int slot, std::initializer_list<runtime::ArgRecord> args);
std::string call_text(int slot, std::initializer_list<runtime::ArgRecord> args);
std::string call_bin(int slot, std::initializer_list<runtime::ArgRecord> args);

// Property access through the unit framework.
int32_t read_int(uint32_t unit, int prop);
void write_int(uint32_t unit, int prop, int32_t v);
// The unit's type-specific data as saved (interface 5).
std::string saved_data(uint32_t unit);

// Threads of this process right now.
int thread_count();

// 32-bit little-endian words.
std::string words(std::initializer_list<uint32_t> values);

}  // namespace commtest
