// Window loading: the live window and its units created from a window record, re-parented,
// ordered, given their cursors, shown, and the loader's events raised; modal loading.
// Loaded support libraries hear of each load through their library notification routine:
// code 3 (a window is about to be loaded) and code 4 (its loading ended), value 1 = the
// window identifier; their answers are not used.
#include <algorithm>
#include "abi/descriptor.h"
#include "runtime/runtime.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/menus.h"
#include "units/reflector.h"
#include "units/unit_base.h"
#include "units/window_state.h"
#include "units/window_unit.h"

namespace units {

namespace {

constexpr UINT kLoadingComplete = 0x806F;
constexpr UINT kWindowLoaded = 0x8004;
constexpr UINT kWindowUp = 0x8076;
constexpr UINT kFirstControlId = 100, kControlIdStep = 10;

bool g_loading_modal = false;

constexpr int32_t kWindowLoading = 3, kWindowLoadEnded = 4;

void tell_libraries(int32_t code, uint32_t window_id) {
  auto& libraries = runtime::rt().libraries;
  for (size_t i = 1; i < libraries.size(); ++i) {
    const corelib::LibDescriptor* d = libraries[i].descriptor;
    if (d && d->notify) d->notify(code, window_id, 0);
  }
}

HWND handle_of(const Entry& e) { return live_handle(e); }

uint32_t flags_of(const Entry& e) {
  const UnitTypeEntry* t = find_type(e.type);
  return t ? t->flags : 0;
}

void* create_entry(WindowTemplate& w, Entry& e, uint32_t style, HWND parent, UINT control_id,
                   HMENU menu = nullptr) {
  const UnitTypeEntry* type = find_type(e.type);
  auto create = reinterpret_cast<CreateOp>(type_operation(type, kCreate));
  if (!create) return nullptr;
  return create(reinterpret_cast<const uint8_t*>(e.data.data()),
                static_cast<uint32_t>(e.data.size()), style, parent, control_id, menu, e.left,
                e.top, e.width, e.height, w.id, e.id, 0, 0);
}

struct ThreadWindows {
  HWND except;
  std::vector<std::pair<HWND, bool>>* out;
};

BOOL CALLBACK disable_one(HWND h, LPARAM lp) {
  auto* t = reinterpret_cast<ThreadWindows*>(lp);
  if (h == t->except || h == runtime::rt().hidden_window || !IsWindowVisible(h)) return TRUE;
  t->out->push_back({h, IsWindowEnabled(h) != FALSE});
  EnableWindow(h, FALSE);
  return TRUE;
}

}  // namespace

bool loading_modal() { return g_loading_modal; }

bool load_window(WindowTemplate& w, bool modal, HWND parent) {
  if (w.entries.empty()) return false;
  if (parent && !IsWindow(parent)) return false;
  if (WindowUnit* live = live_window(w)) {
    if (IsIconic(live->handle())) ShowWindow(live->handle(), SW_RESTORE);
    else SetForegroundWindow(live->handle());
    return true;
  }
  HWND focus_before = GetFocus();
  tell_libraries(kWindowLoading, w.id);
  WindowState& s = state_of(w);
  s.entries_copy = w.entries;
  s.has_copy = true;
  uint32_t window_id = w.id;

  // The menu, then the window's own unit, then the units from the last entry back to 1.
  BuiltMenu menu = build_menu(w);
  Entry& own = w.entries[0];
  g_loading_modal = modal;
  own.live_object = create_entry(w, own, (own.flags & 2) ? WS_DISABLED : 0, parent, 0, menu.bar);
  g_loading_modal = false;
  WindowUnit* window = live_window(w);
  if (!window) {
    if (menu.bar) DestroyMenu(menu.bar);
    if (menu.accelerators) DestroyAcceleratorTable(menu.accelerators);
    own.live_object = nullptr;
    s.entries_copy.clear();
    s.has_copy = false;
    return false;
  }
  window->set_modal(modal);
  HWND wh = window->handle();
  UINT control_id = kFirstControlId;
  for (size_t i = w.entries.size(); i-- > 1;) {
    Entry& e = w.entries[i];
    if (e.menu_item) continue;
    uint32_t flags = flags_of(e);
    uint32_t style = 0;
    if (!(flags & kFunctionUnit)) {
      if (e.flags & 2) style |= WS_DISABLED;
      if (e.flags & 4) style |= WS_TABSTOP;
    }
    void* made = create_entry(w, e, style, wh, control_id);
    control_id += kControlIdStep;
    if (!made) {
      if (menu.accelerators) DestroyAcceleratorTable(menu.accelerators);
      DestroyWindow(wh);  // the units made so far and the menu go with it; the record is restored
      return false;
    }
    e.live_object = made;
  }

  // Re-parent under containers, restore the z-order, make the cursors.
  for (size_t i = 1; i < w.entries.size(); ++i) {
    Entry& e = w.entries[i];
    HWND h = handle_of(e);
    if (!h || !e.parent) continue;
    Entry* p = find_entry(w, e.parent);
    HWND ph = p && p != &w.entries[0] ? handle_of(*p) : nullptr;
    if (!ph) continue;
    SetParent(h, ph);
    reflect_to_units(ph);  // a container of another library: its units still hear their clicks
  }
  for (size_t i = 1; i < w.entries.size(); ++i) {
    HWND h = handle_of(w.entries[i]);
    if (!h) continue;
    HWND after = HWND_TOP;
    for (size_t j = i - 1; j >= 1; --j) {
      if (w.entries[j].parent == w.entries[i].parent && handle_of(w.entries[j])) {
        after = handle_of(w.entries[j]);
        break;
      }
    }
    SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  for (Entry& e : w.entries) e.live_cursor = cursor_from_data(e.cursor);

  // Loading complete, last entry first; then the window; then show or hide the units.
  for (size_t i = w.entries.size(); i-- > 1;)
    if (HWND h = handle_of(w.entries[i])) SendMessageA(h, kLoadingComplete, 0, 0);
  SendMessageA(wh, kWindowLoaded, 0, 0);
  window->set_accelerators(menu.accelerators);
  tell_libraries(kWindowLoadEnded, window_id);
  for (size_t i = 1; i < w.entries.size(); ++i) {
    HWND h = handle_of(w.entries[i]);
    if (!h) continue;
    bool show = (w.entries[i].flags & 1) && !(flags_of(w.entries[i]) & kFunctionUnit) &&
                tab_page_of(w, w.entries[i].id, nullptr) <= 0;  // later tab pages start hidden
    ShowWindow(h, show ? SW_SHOWNA : SW_HIDE);
  }

  // The loader's events: created, moved, size changed, while the window exists.
  window->set_loaded();
  for (int event : {0, 3, 4}) {
    if (!IsWindow(wh)) return true;
    window->raise(event);
  }
  WindowTemplate* again = find_window(window_id);
  if (!IsWindow(wh) || !again) return true;
  if (again->entries[0].flags & 1) window->show_window();
  if (!IsWindow(wh)) return true;

  if (modal) {
    ThreadWindows t{wh, &s.disabled};
    EnumThreadWindows(GetCurrentThreadId(), &disable_one, reinterpret_cast<LPARAM>(&t));
    s.modal = true;
  }
  for (size_t i = again->entries.size(); i-- > 1;)
    if (HWND h = handle_of(again->entries[i])) SendMessageA(h, kWindowUp, 0, 0);
  if (focus_before && IsWindow(focus_before) && !modal) SetFocus(focus_before);
  if (modal) {
    runtime::rt().run_loop(framework::App::kModalLoop);
  }
  return true;
}

}  // namespace units
