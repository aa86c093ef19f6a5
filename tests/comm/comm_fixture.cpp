// Test window, event recorder and helpers for the communication unit tests.
#include "comm_fixture.h"
#include <tlhelp32.h>
#include "../corelib/call.h"
#include "runtime/heap.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/window_unit.h"

// Compiled-handler stubs: each notes its event number and argument through comm_note and
// returns like compiled code (arguments removed, ECX = 0: no result).
extern "C" void __cdecl comm_note(int event, uint32_t arg) asm("commtest_note");
extern "C" {
void commtest_arg_e0() asm("commtest_arg_e0");
void commtest_arg_e1() asm("commtest_arg_e1");
void commtest_bare_e0() asm("commtest_bare_e0");
void commtest_bare_e1() asm("commtest_bare_e1");
void commtest_bare_e2() asm("commtest_bare_e2");
}
asm(R"(
  .text
commtest_arg_e0:
  pushl 4(%esp)
  pushl $0
  call commtest_note
  addl $8, %esp
  xorl %ecx, %ecx
  ret $4
commtest_arg_e1:
  pushl 4(%esp)
  pushl $1
  call commtest_note
  addl $8, %esp
  xorl %ecx, %ecx
  ret $4
commtest_bare_e0:
  pushl $0
  pushl $0
  call commtest_note
  addl $8, %esp
  xorl %ecx, %ecx
  ret
commtest_bare_e1:
  pushl $0
  pushl $1
  call commtest_note
  addl $8, %esp
  xorl %ecx, %ecx
  ret
commtest_bare_e2:
  pushl $0
  pushl $2
  call commtest_note
  addl $8, %esp
  xorl %ecx, %ecx
  ret
)");

namespace commtest {

namespace {

std::vector<Event> g_events;
std::function<void(const Event&)> g_during;
bool g_lean = false;
units::WindowTemplate* g_window = nullptr;

uint32_t type_of(uint32_t unit) {
  if (!g_window) return 0;
  units::Entry* e = units::find_entry(*g_window, unit);
  return e ? e->type : 0;
}

uint32_t addr(void (*f)()) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(f)); }

}  // namespace

}  // namespace commtest

extern "C" void __cdecl comm_note(int event, uint32_t arg) {
  using namespace commtest;
  uint32_t window = 0, unit = 0;
  units::current_event_source(window, unit);
  Event e{unit, event, arg, {}, {}};
  uint32_t type = type_of(unit);
  runtime::ArgRecord u = unit_arg(unit, type);
  if (g_lean && type != kSerialType) {
    runtime::ArgRecord r = call(type == kServerType ? 441 : 437, {u});
    const auto* header = reinterpret_cast<const runtime::BinHeader*>(static_cast<uintptr_t>(r.lo));
    e.arg = header ? header->length : 0;
    runtime::free_block(const_cast<runtime::BinHeader*>(header));
  } else if (type == kServerType) {
    e.data = call_bin(441, {u});
    e.client = call_text(447, {u});
  } else if (type == kClientType || type == kDatagramType || type == kOldDatagramType) {
    e.data = call_bin(437, {u});
  }
  if (!g_lean) g_events.push_back(e);
  if (g_during) g_during(e);
}

namespace commtest {

void install_once() {
  static bool done = false;
  if (done) return;
  done = true;
  runtime::install_subsystems();
}

TestWindow::TestWindow(const std::vector<UnitDef>& defs) : w_(std::make_unique<units::WindowTemplate>()) {
  install_once();
  w_->id = kWindow;
  units::Entry own;
  own.id = 0x06018000;
  own.type = 0x10001;
  own.width = 200;
  own.height = 100;
  w_->entries.push_back(own);
  for (const UnitDef& s : defs) {
    units::Entry e;
    e.id = s.id;
    e.type = s.type;
    e.width = e.height = 16;
    e.data = s.data;
    if (s.type == kSerialType)
      e.bindings = {{0, addr(&commtest_arg_e0)}, {1, addr(&commtest_arg_e1)}};
    else
      e.bindings = {{0, addr(&commtest_bare_e0)}, {1, addr(&commtest_bare_e1)},
                    {2, addr(&commtest_bare_e2)}};
    w_->entries.push_back(e);
  }
  runtime::rt().templates.push_back(w_.get());
  g_window = w_.get();
  g_events.clear();
  g_during = nullptr;
  loaded_ = units::load_window(*w_, false, nullptr);
}

TestWindow::~TestWindow() {
  if (units::WindowUnit* w = units::live_window(*w_)) DestroyWindow(w->handle());
  auto& t = runtime::rt().templates;
  std::erase(t, w_.get());
  g_window = nullptr;
  g_during = nullptr;
}

HWND TestWindow::handle() const {
  units::WindowUnit* w = units::live_window(*w_);
  return w ? w->handle() : nullptr;
}

void TestWindow::destroy_unit(uint32_t unit) {
  if (units::Entry* e = units::find_entry(*w_, unit))
    if (HWND h = units::live_handle(*e)) DestroyWindow(h);
}

std::vector<Event>& events() { return g_events; }
void set_during_event(std::function<void(const Event&)> f) { g_during = std::move(f); }
void set_lean_recording(bool lean) { g_lean = lean; }

bool pump_until(const std::function<bool()>& done, int ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (done()) return true;
    if (static_cast<int>(GetTickCount() - start) >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void pump_for(int ms) {
  pump_until([] { return false; }, ms);
}

runtime::ArgRecord unit_arg(uint32_t unit, uint32_t type) { return {kWindow, unit, type}; }
runtime::ArgRecord text(const std::string& s) { return calls::Text(s); }
runtime::ArgRecord bytes(const std::string& s) { return calls::Bin(s); }
runtime::ArgRecord integer(int32_t v) { return calls::Int(v); }
runtime::ArgRecord short_int(int16_t v) { return calls::Short(v); }
runtime::ArgRecord real(double v) { return calls::Double(v); }
runtime::ArgRecord omitted() { return calls::Omit(); }

runtime::ArgRecord call(int slot, std::initializer_list<runtime::ArgRecord> args) {
  return calls::call(slot, args);
}
bool call_bool(int slot, std::initializer_list<runtime::ArgRecord> args) {
  return calls::call(slot, args).lo != 0;
}
std::string call_text(int slot, std::initializer_list<runtime::ArgRecord> args) {
  return calls::take_text(calls::call(slot, args)).value_or("");
}
std::string call_bin(int slot, std::initializer_list<runtime::ArgRecord> args) {
  return calls::take_bin(calls::call(slot, args)).value_or("");
}

int32_t read_int(uint32_t unit, int prop) {
  return static_cast<int32_t>(units::read_property(kWindow, unit, prop, -1));
}
void write_int(uint32_t unit, int prop, int32_t v) {
  units::write_property(kWindow, unit, prop, -1, static_cast<uint32_t>(v), 0);
}

std::string saved_data(uint32_t unit) {
  units::Entry* e = g_window ? units::find_entry(*g_window, unit) : nullptr;
  if (!e) return {};
  auto get_all = reinterpret_cast<void*(__cdecl*)(void*, uint32_t*)>(
      units::type_operation(units::core_type_entry(e->type & 0xFFFF), units::kGetAllData));
  framework::Window* object = units::live_object(*e);
  if (!get_all || !object) return {};
  uint32_t length = 0;
  void* block = get_all(object, &length);
  std::string out(static_cast<const char*>(block), length);
  runtime::free_block(block);
  return out;
}

int thread_count() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 t{};
  t.dwSize = sizeof t;
  int n = 0;
  DWORD self = GetCurrentProcessId();
  for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
    if (t.th32OwnerProcessID == self) ++n;
  CloseHandle(snap);
  return n;
}

std::string words(std::initializer_list<uint32_t> values) {
  std::string out;
  for (uint32_t v : values) out.append(reinterpret_cast<const char*>(&v), 4);
  return out;
}

}  // namespace commtest
