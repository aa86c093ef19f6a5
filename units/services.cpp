// The unit framework's entry points in the runtime object: property services, the start-up
// window, the loop's questions, idle events, unloading, and the runtime notification codes
// that need windows.
#include <algorithm>
#include "runtime/runtime.h"
#include "runtime/errors.h"
#include "runtime/registry.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/menus.h"
#include "units/picture_codec.h"
#include "units/unit_base.h"
#include "units/window_state.h"
#include "units/window_unit.h"

namespace units {

namespace {

constexpr char kNoUnit[] = "指定窗口或窗口组件不存在或尚未载入";

uint64_t read_object(uint32_t, void* object, int32_t prop, int32_t index) {
  uint32_t window, unit;
  if (!identify_object(object, window, unit)) runtime::raise_error(kNoUnit, 0);
  return read_property(window, unit, prop, index);
}

void write_object(uint32_t, void* object, int32_t prop, int32_t index, uint32_t lo, uint32_t hi) {
  uint32_t window, unit;
  if (!identify_object(object, window, unit)) runtime::raise_error(kNoUnit, 0);
  write_property(window, unit, prop, index, lo, hi);
}

bool load_startup(uint32_t id) {
  WindowTemplate* w = find_window(id);
  return w && load_window(*w, false, nullptr);
}

bool any_window() {
  for (WindowTemplate* w : runtime::rt().templates)
    if (w && live_window(*w)) return true;
  return false;
}

bool modal_up() { return modal_window_handle() != nullptr; }

void unload_all() {
  std::vector<HWND> windows;
  for (WindowTemplate* w : runtime::rt().templates)
    if (WindowUnit* u = w ? live_window(*w) : nullptr) windows.push_back(u->handle());
  for (HWND h : windows)
    if (IsWindow(h)) DestroyWindow(h);
}

bool idle_all(DWORD elapsed, std::vector<HWND>& finished) {
  std::vector<HWND> windows;
  for (WindowTemplate* w : runtime::rt().templates)
    if (WindowUnit* u = w ? live_window(*w) : nullptr) windows.push_back(u->handle());
  bool more = false;
  for (HWND h : windows) {
    if (std::find(finished.begin(), finished.end(), h) != finished.end()) continue;
    auto* u = dynamic_cast<WindowUnit*>(Unit::from_window(h));
    if (!u) continue;
    if (u->idle(elapsed)) more = true;
    else finished.push_back(h);
  }
  return more;
}

// The unit object of (window, unit or 0) when it exists as a system window.
framework::Window* unit_object(uint32_t window, uint32_t unit) {
  WindowTemplate* w = find_window(window);
  Entry* e = w ? find_entry(*w, unit) : nullptr;
  return e ? live_object(*e) : nullptr;
}

template <class T> T* ptr(uint32_t v) { return reinterpret_cast<T*>(static_cast<uintptr_t>(v)); }

int64_t templates_list(uint32_t, uint32_t) {
  return reinterpret_cast<int64_t>(&runtime::rt().templates);
}
int64_t is_unit_window(uint32_t v1, uint32_t) {
  HWND h = ptr<HWND__>(v1);
  for (WindowTemplate* w : runtime::rt().templates)
    for (const Entry& e : w->entries)
      if (h && live_handle(e) == h) return 1;
  return 0;
}
int64_t destroyed(uint32_t v1, uint32_t v2) {
  unit_destroyed(v1, v2);
  return 0;
}
int64_t load(uint32_t v1, uint32_t) {
  const auto* rec = ptr<const uint32_t>(v1);
  if (!rec) return -1;
  WindowTemplate* w = find_window(rec[0]);
  auto* parent = framework::Window::live_object(reinterpret_cast<framework::Window*>(rec[1]));
  if (rec[1] && !parent) return -1;
  bool modal = rec[2] != 0;  // the display flag: every other window disabled until it closes
  return w && load_window(*w, modal, parent ? parent->handle() : nullptr) ? 0 : -1;
}
int64_t find_unit(uint32_t v1, uint32_t v2) {
  return reinterpret_cast<int64_t>(unit_object(v1, v2));
}
int64_t find_unit_or_raise(uint32_t v1, uint32_t v2) {
  framework::Window* u = unit_object(v1, v2);
  if (!u) runtime::raise_error(kNoUnit, 0);
  return reinterpret_cast<int64_t>(u);
}
int64_t event(uint32_t v1, uint32_t) {
  if (v1) raise_event(*ptr<EventRecord>(v1));
  return 0;
}
int64_t typed_event(uint32_t v1, uint32_t) {
  if (v1) raise_typed_event(*ptr<TypedEventRecord>(v1));
  return 0;
}
int64_t event_source(uint32_t v1, uint32_t) {
  auto* out = ptr<uint32_t>(v1);
  uint32_t w, u;
  if (!out || !current_event_source(w, u)) return 0;
  out[0] = w;
  out[1] = u;
  return 1;
}
int64_t unit_type(uint32_t v1, uint32_t v2) {
  WindowTemplate* w = find_window(v1);
  Entry* e = w ? find_entry(*w, v2) : nullptr;
  return e ? e->type : 0;
}
int64_t menu_item(uint32_t v1, uint32_t) {
  auto* q = ptr<MenuItemQuery>(v1);
  return q && describe_menu_item(*q) ? 1 : 0;
}
int64_t tab_pages(uint32_t v1, uint32_t v2) {
  WindowTemplate* w = find_window(v1);
  Entry* tab = w ? find_entry(*w, v2) : nullptr;
  if (tab) show_tab_pages(*w, *tab);
  return 0;
}
int64_t rebuild_all_menus(uint32_t v1, uint32_t) {
  WindowTemplate* w = find_window(v1);
  if (!w) return 0;
  for (Entry& e : w->entries)
    if (e.menu_item) e.flags |= 8;
  rebuild_menu(*w);
  return 0;
}
int64_t rebuild_changed_menus(uint32_t v1, uint32_t) {
  if (WindowTemplate* w = find_window(v1)) rebuild_menu(*w);
  return 0;
}
int64_t window_handle(uint32_t v1, uint32_t) {
  WindowTemplate* w = find_window(v1);
  WindowUnit* u = w ? live_window(*w) : nullptr;
  return u ? reinterpret_cast<int64_t>(u->handle()) : 0;
}

// The runtime notification codes of the unit framework.
constexpr runtime::CodeAnswer kAnswers[] = {
    {1001, templates_list},
    {1014, is_unit_window},
    {2000, destroyed},
    {2005, load},
    {2006, find_unit},
    {2007, find_unit_or_raise},
    {2008, event},
    {2017, event_source},
    {2022, unit_type},
    {2031, typed_event},
    {2033, window_handle},
    {2037, rebuild_all_menus},
    {2038, menu_item},
    {2039, tab_pages},
    {2040, rebuild_changed_menus},
};

}  // namespace

void install() {
  runtime::UnitHooks& h = runtime::rt().units;
  h.read_property = &read_property;
  h.write_property = &write_property;
  h.read_object_property = &read_object;
  h.write_object_property = &write_object;
  h.load_startup_window = &load_startup;
  h.any_window_exists = &any_window;
  h.modal_active = &modal_up;
  h.unload_all = &unload_all;
  h.window_idle = &idle_all;
  runtime::register_answers(kAnswers);
  install_picture_codes();
  core_type_entry(1);  // completes the core data type table
}

}  // namespace units
