// The unit framework's entry points in the runtime object: property services, the start-up
// window, the loop's questions, idle events, unloading, and the runtime notification codes
// that need windows.
#include <algorithm>
#include "image/runtime.h"
#include "runtime/errors.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/menus.h"
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
  for (WindowTemplate* w : image::rt().templates)
    if (w && live_window(*w)) return true;
  return false;
}

bool modal_up() { return modal_window_handle() != nullptr; }

void unload_all() {
  std::vector<HWND> windows;
  for (WindowTemplate* w : image::rt().templates)
    if (WindowUnit* u = w ? live_window(*w) : nullptr) windows.push_back(u->handle());
  for (HWND h : windows)
    if (IsWindow(h)) DestroyWindow(h);
}

bool idle_all(DWORD elapsed, std::vector<HWND>& finished) {
  std::vector<HWND> windows;
  for (WindowTemplate* w : image::rt().templates)
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

int64_t notify(int code, uint32_t v1, uint32_t v2, bool* handled) {
  *handled = true;
  switch (code) {
    case 1001: return reinterpret_cast<int64_t>(&image::rt().templates);
    case 1014: {
      HWND h = reinterpret_cast<HWND>(v1);
      for (WindowTemplate* w : image::rt().templates)
        for (const Entry& e : w->entries)
          if (h && live_handle(e) == h) return 1;
      return 0;
    }
    case 2000: unit_destroyed(v1, v2); return 0;
    case 2005: {
      const auto* rec = reinterpret_cast<const uint32_t*>(v1);
      if (!rec) return -1;
      WindowTemplate* w = find_window(rec[0]);
      auto* parent = framework::Window::live_object(reinterpret_cast<framework::Window*>(rec[1]));
      if (rec[1] && !parent) return -1;
      return w && load_window(*w, false, parent ? parent->handle() : nullptr) ? 0 : -1;
    }
    case 2006: return reinterpret_cast<int64_t>(unit_object(v1, v2));
    case 2007: {
      framework::Window* u = unit_object(v1, v2);
      if (!u) runtime::raise_error(kNoUnit, 0);
      return reinterpret_cast<int64_t>(u);
    }
    case 2008:
      if (v1) raise_event(*reinterpret_cast<EventRecord*>(v1));
      return 0;
    case 2031:
      if (v1) raise_typed_event(*reinterpret_cast<TypedEventRecord*>(v1));
      return 0;
    case 2017: {
      auto* out = reinterpret_cast<uint32_t*>(v1);
      uint32_t w, u;
      if (!out || !current_event_source(w, u)) return 0;
      out[0] = w;
      out[1] = u;
      return 1;
    }
    case 2022: {
      WindowTemplate* w = find_window(v1);
      Entry* e = w ? find_entry(*w, v2) : nullptr;
      return e ? e->type : 0;
    }
    case 2038: {
      auto* q = reinterpret_cast<MenuItemQuery*>(v1);
      return q && describe_menu_item(*q) ? 1 : 0;
    }
    case 2039: {
      WindowTemplate* w = find_window(v1);
      Entry* tab = w ? find_entry(*w, v2) : nullptr;
      if (tab) show_tab_pages(*w, *tab);
      return 0;
    }
    case 2037: {
      WindowTemplate* w = find_window(v1);
      if (!w) return 0;
      for (Entry& e : w->entries)
        if (e.menu_item) e.flags |= 8;
      rebuild_menu(*w);
      return 0;
    }
    case 2040: {
      if (WindowTemplate* w = find_window(v1)) rebuild_menu(*w);
      return 0;
    }
    case 2033: {
      WindowTemplate* w = find_window(v1);
      WindowUnit* u = w ? live_window(*w) : nullptr;
      return u ? reinterpret_cast<int64_t>(u->handle()) : 0;
    }
    default:
      *handled = false;
      return 0;
  }
}

}  // namespace

void install() {
  image::UnitHooks& h = image::rt().units;
  h.read_property = &read_property;
  h.write_property = &write_property;
  h.read_object_property = &read_object;
  h.write_object_property = &write_object;
  h.load_startup_window = &load_startup;
  h.any_window_exists = &any_window;
  h.modal_active = &modal_up;
  h.unload_all = &unload_all;
  h.window_idle = &idle_all;
  h.notify = &notify;
  core_type_entry(1);  // completes the core data type table
}

}  // namespace units
