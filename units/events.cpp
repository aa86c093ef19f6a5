// Events: from a unit's event record to the compiled handler bound in the window template,
// with the event hold counter and the current event source.
#include "units/events.h"
#include "runtime/runtime.h"
#include "runtime/errors.h"
#include "runtime/services.h"
#include "units/framework.h"

namespace units {

namespace {

// The entry whose bindings an entry uses: event-source links are followed while the linked
// entry exists and has the same unit type (a cycle ends the walk).
const Entry* binding_owner(WindowTemplate& w, const Entry* e) {
  const Entry* at = e;
  for (size_t steps = 0; at->event_source && steps < w.entries.size(); ++steps) {
    Entry* next = find_entry(w, at->event_source);
    if (!next || next == at || next->type != e->type) break;
    at = next;
  }
  return at;
}

// The handler for an event, or 0; raises the dispatch errors.
uint32_t find_handler(uint32_t window, uint32_t unit, int32_t event) {
  WindowTemplate* w = find_window(window);
  if (!w) runtime::raise_error("未找到引发事件的窗口", 0);
  Entry* e = find_entry(*w, unit);
  if (!e) runtime::raise_error("未找到引发事件的窗口组件", 0);
  const Entry* owner = binding_owner(*w, e);
  const UnitTypeEntry* type = find_type(owner->type);
  if (!type || !(type->flags & (kWindowUnit | kMenuType)))
    runtime::raise_error("引发事件的窗口组件无效", 0);
  if (owner->menu_item) return owner->bindings.empty() ? 0 : owner->bindings[0].handler;
  for (const Binding& b : owner->bindings)
    if (b.event == event) return b.handler;
  return 0;
}

// Runs a handler with the current event source set; returns the result type (0: none).
uint32_t run(uint32_t handler, uint32_t window, uint32_t unit, const uint32_t* words,
             uint32_t count, uint32_t* result) {
  runtime::Runtime& r = runtime::rt();
  uint32_t saved_window = r.event_window, saved_unit = r.event_unit;
  r.event_window = window;
  r.event_unit = unit;
  runtime::CompiledResult out = runtime::call_compiled(reinterpret_cast<const void*>(handler),
                                                       words, static_cast<int>(count));
  result[0] = out.lo;
  result[1] = out.hi;
  r.event_window = saved_window;
  r.event_unit = saved_unit;
  return out.type;
}

}  // namespace

bool events_held() { return runtime::rt().event_hold > 0; }
void hold_events() { ++runtime::rt().event_hold; }
void release_events() {
  if (runtime::rt().event_hold > 0) --runtime::rt().event_hold;
}

bool current_event_source(uint32_t& window, uint32_t& unit) {
  runtime::Runtime& r = runtime::rt();
  if (!r.event_window) return false;
  window = r.event_window;
  unit = r.event_unit;
  return true;
}

void raise_event(EventRecord& record) {
  if (events_held()) return;
  uint32_t handler = find_handler(record.window_id, record.unit_id, record.event);
  if (!handler) return;
  uint32_t argc = record.argc > 5 ? 5 : record.argc;
  uint32_t result[2] = {};
  uint32_t words[5];
  for (uint32_t i = 0; i < argc; ++i) words[i] = record.args[i];
  if (run(handler, record.window_id, record.unit_id, words, argc, result)) {
    record.has_result = 1;
    record.result = result[0];
  }
}

void raise_typed_event(TypedEventRecord& record) {
  if (events_held()) return;
  uint32_t handler = find_handler(record.window_id, record.unit_id, record.event);
  if (!handler) return;
  uint32_t words[24];
  uint32_t count = 0;
  uint32_t argc = record.argc > 12 ? 12 : record.argc;
  for (uint32_t i = 0; i < argc; ++i) {
    const TypedArg& a = record.args[i];
    uint32_t t = a.type & 0xDFFFFFFF;
    bool both = !(a.flags & 1) &&
                ((a.flags & 2) || a.type == 0x10003 || t == 0x80000003 || t == 0x80000401 ||
                 t == 0x80000601 || t == 0x80000008);
    if (a.flags & 1) words[count++] = a.lo;
    else if (both) { words[count++] = a.lo; words[count++] = a.hi; }
    else if (t == 0x80000201) words[count++] = static_cast<uint32_t>(static_cast<int16_t>(a.lo));
    else if (t == 0x80000101) words[count++] = a.lo & 0xFF;
    else words[count++] = a.lo;
  }
  uint32_t result[2] = {};
  if (run(handler, record.window_id, record.unit_id, words, count, result)) {
    record.has_result = 1;
    record.result_lo = result[0];
    record.result_hi = result[1];
  }
}

}  // namespace units
