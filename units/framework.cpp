// The unit framework, runtime side: type lookup, window and entry lookup, property reads and
// writes with conversion by property type, the common properties, re-creation in place and
// the reports of destroyed units.
#include "units/framework.h"
#include <algorithm>
#include <commctrl.h>
#include <cstring>
#include <map>
#include <string>
#include "abi/descriptor.h"
#include "runtime/runtime.h"
#include "runtime/args.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "units/events.h"
#include "units/menus.h"
#include "units/unit_base.h"
#include "units/window_state.h"
#include "units/window_unit.h"

namespace units {

namespace {

constexpr char kWindowNotLoaded[] = "未载入欲访问窗口组件所在的窗口";
constexpr char kNotLoadedYet[] = "指定窗口尚未载入";
constexpr int32_t kCoordLimit = 32627;

bool g_recreating = false;

std::map<const WindowTemplate*, WindowState>& states() {
  static std::map<const WindowTemplate*, WindowState> m;
  return m;
}

uint64_t pack(uint32_t lo, uint32_t hi = 0) { return uint64_t(hi) << 32 | lo; }

// Property values read out: new runtime blocks (null when empty) in the low word.
uint64_t new_text(const std::string& s) {
  return pack(reinterpret_cast<uint32_t>(runtime::new_text(s)));
}

uint64_t new_bin(const void* p, uint32_t n) {
  return pack(reinterpret_cast<uint32_t>(
      runtime::new_bin(std::string_view(static_cast<const char*>(p), n))));
}

std::string text_arg(uint32_t p) { return p ? std::string(reinterpret_cast<const char*>(p)) : std::string(); }

std::string bin_arg(uint32_t p) {
  if (!p) return {};
  const auto* head = reinterpret_cast<const uint32_t*>(p);
  return std::string(reinterpret_cast<const char*>(p + 8), head[1]);
}

bool is_text(uint16_t t) {
  return t == kPropText || t == kPropPickText || t == kPropEditPickText || t == kPropFileName ||
         (t >= kPropText18 && t <= kPropText22);
}
bool is_bytes(uint16_t t) {
  return t == kPropPicture || t == kPropIcon || t == kPropSound || t == kPropImageList ||
         t == kPropCustom || t == kPropCursor;
}

// ---- fonts by element ----

LOGFONTA font_record(const PropData& d) {
  LOGFONTA lf{};
  if (d.word && d.length == sizeof lf) std::memcpy(&lf, reinterpret_cast<const void*>(d.word), sizeof lf);
  else GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  return lf;
}

int points_of(const LOGFONTA& lf) {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return MulDiv(std::abs(lf.lfHeight), 72, dpi ? dpi : 96);
}

void set_points(LOGFONTA& lf, int pt) {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  lf.lfHeight = -MulDiv(pt, dpi ? dpi : 96, 72);
}

void set_face(LOGFONTA& lf, const std::string& face) {
  std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
  std::string f = face.size() >= 1 && face.size() <= 31 ? face : std::string("宋体");
  std::memcpy(lf.lfFaceName, f.data(), f.size());
}

// The whole font as a record of seven words: angle, bold, italic, strike-out, underline,
// size in points, face name text.
uint64_t font_read(const LOGFONTA& lf, int32_t element) {
  switch (element) {
    case 0: return pack(static_cast<uint32_t>(lf.lfEscapement));
    case 1: return lf.lfWeight >= 700;
    case 2: return lf.lfItalic != 0;
    case 3: return lf.lfStrikeOut != 0;
    case 4: return lf.lfUnderline != 0;
    case 5: return pack(static_cast<uint32_t>(points_of(lf)));
    case 6: return new_text(std::string(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE)));
    default: {
      auto* rec = static_cast<uint32_t*>(runtime::allocate(7 * 4));
      rec[0] = static_cast<uint32_t>(lf.lfEscapement);
      rec[1] = lf.lfWeight >= 700;
      rec[2] = lf.lfItalic != 0;
      rec[3] = lf.lfStrikeOut != 0;
      rec[4] = lf.lfUnderline != 0;
      rec[5] = static_cast<uint32_t>(points_of(lf));
      rec[6] = static_cast<uint32_t>(font_read(lf, 6));
      return pack(reinterpret_cast<uint32_t>(rec));
    }
  }
}

void font_write(LOGFONTA& lf, int32_t element, uint32_t lo) {
  switch (element) {
    case 0: lf.lfEscapement = lf.lfOrientation = static_cast<LONG>(static_cast<int32_t>(lo) % 3600); break;
    case 1: lf.lfWeight = lo ? 700 : 0; break;
    case 2: lf.lfItalic = lo != 0; break;
    case 3: lf.lfStrikeOut = lo != 0; break;
    case 4: lf.lfUnderline = lo != 0; break;
    case 5: set_points(lf, static_cast<int32_t>(lo)); break;
    case 6: set_face(lf, text_arg(lo)); break;
    default: {
      if (!lo) break;
      const auto* rec = reinterpret_cast<const uint32_t*>(lo);
      for (int i = 0; i < 7; ++i) font_write(lf, i, rec[i]);
      break;
    }
  }
}

// ---- common helpers ----

Entry& entry_or_fail(uint32_t window, uint32_t unit, WindowTemplate** w_out) {
  WindowTemplate* w = find_window(window);
  if (!w) runtime::raise_error(kWindowNotLoaded, 0);
  Entry* e = find_entry(*w, unit);
  if (!e) runtime::raise_error(kWindowNotLoaded, 0);
  *w_out = w;
  return *e;
}

RECT unit_rect(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  HWND parent = GetParent(h);
  if (parent && (GetWindowLongA(h, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

HCURSOR cursor_from_data(const std::string& data) {
  if (data.size() < 4) return nullptr;
  uint32_t stock;
  std::memcpy(&stock, data.data(), 4);
  if (data.size() == 4) return LoadCursorA(nullptr, MAKEINTRESOURCEA(stock));
  // A cursor file: the image of its first directory entry.
  if (data.size() < 6 + 16) return nullptr;
  uint32_t size, offset;
  std::memcpy(&size, data.data() + 6 + 8, 4);
  std::memcpy(&offset, data.data() + 6 + 12, 4);
  uint16_t hx, hy;
  std::memcpy(&hx, data.data() + 6 + 4, 2);
  std::memcpy(&hy, data.data() + 6 + 6, 2);
  if (offset > data.size() || size > data.size() - offset || size < 40) return nullptr;
  std::string res(4 + size, '\0');
  std::memcpy(res.data(), &hx, 2);
  std::memcpy(res.data() + 2, &hy, 2);
  std::memcpy(res.data() + 4, data.data() + offset, size);
  return reinterpret_cast<HCURSOR>(CreateIconFromResourceEx(
      reinterpret_cast<PBYTE>(res.data()), static_cast<DWORD>(res.size()), FALSE, 0x00030000, 0,
      0, LR_DEFAULTCOLOR));
}

// ---- lookups ----

WindowState& state_of(const WindowTemplate& w) { return states()[&w]; }

void end_modal(WindowState& s) {
  for (auto& [h, enabled] : s.disabled)
    if (IsWindow(h)) EnableWindow(h, enabled);
  s.disabled.clear();
  s.modal = false;
}

bool recreating() { return g_recreating; }

const UnitTypeEntry* find_type(uint32_t code) {
  code &= 0xDFFFFFFF;
  uint32_t lib = code >> 16, number = code & 0xFFFF;
  if (lib == 0 || number == 0 || (code & 0x80000000)) return nullptr;
  if (lib == 1) return core_type_entry(number);
  return runtime::library_type_entry(code);
}

void* type_operation(const UnitTypeEntry* type, int number) {
  if (!type || !type->iface) return nullptr;
  return type->iface(number);
}

WindowTemplate* find_window(uint32_t window_id) {
  for (WindowTemplate* w : runtime::rt().templates)
    if (w && w->id == window_id) return w;
  return nullptr;
}

Entry* find_entry(WindowTemplate& w, uint32_t unit_id) {
  if (w.entries.empty()) return nullptr;
  if (unit_id == 0 || unit_id == w.entries[0].id) return &w.entries[0];
  for (Entry& e : w.entries)
    if (e.id == unit_id) return &e;
  return nullptr;
}

framework::Window* live_object(const Entry& e) {
  framework::Window* w =
      framework::Window::live_object(static_cast<framework::Window*>(e.live_object));
  return w && w->handle() && IsWindow(w->handle()) ? w : nullptr;
}

HWND live_handle(const Entry& e) {
  framework::Window* w = live_object(e);
  return w ? w->handle() : nullptr;
}

Unit* live_unit(const Entry& e) {
  framework::Window* w = live_object(e);
  return w ? dynamic_cast<Unit*>(w) : nullptr;
}

Entry* entry_for_handle(WindowTemplate& w, HWND h) {
  for (; h; h = GetParent(h))
    for (Entry& e : w.entries)
      if (!e.menu_item && live_handle(e) == h) return &e;
  return nullptr;
}

bool identify_object(void* object, uint32_t& window, uint32_t& unit) {
  auto* o = framework::Window::live_object(static_cast<framework::Window*>(object));
  if (!o) return false;
  for (WindowTemplate* w : runtime::rt().templates) {
    if (!w) continue;
    for (const Entry& e : w->entries)
      if (e.live_object == o) {
        window = w->id;
        unit = e.id;
        return true;
      }
  }
  return false;
}

WindowUnit* live_window(WindowTemplate& w) {
  return w.entries.empty() ? nullptr : dynamic_cast<WindowUnit*>(live_unit(w.entries[0]));
}

HWND modal_window_handle() {
  for (auto& [w, s] : states())
    if (s.modal) {
      WindowUnit* u = live_window(*const_cast<WindowTemplate*>(w));
      if (u) return u->handle();
    }
  return nullptr;
}

// ---- tab pages ----

int tab_page_of(WindowTemplate& w, uint32_t unit, Entry** tab) {
  for (Entry& e : w.entries) {
    if (e.menu_item || e.children.empty()) continue;
    const UnitTypeEntry* t = find_type(e.type);
    if (!t || !(t->flags & kTabContainer)) continue;
    int page = 0;
    for (uint32_t child : e.children) {
      if (child == 0) {
        ++page;
      } else if (child == unit) {
        if (tab) *tab = &e;
        return page;
      }
    }
  }
  return -1;
}

int selected_page(const Entry& tab) {
  HWND h = live_handle(tab);
  LRESULT page = h ? SendMessageA(h, TCM_GETCURSEL, 0, 0) : -1;
  return page < 0 ? 0 : static_cast<int>(page);
}

void show_tab_pages(WindowTemplate& w, Entry& tab) {
  int selected = selected_page(tab), page = 0;
  std::vector<uint32_t> children = tab.children;
  for (uint32_t child : children) {
    if (child == 0) {
      ++page;
      continue;
    }
    Entry* e = find_entry(w, child);
    HWND h = e ? live_handle(*e) : nullptr;
    if (!h) continue;
    const UnitTypeEntry* t = find_type(e->type);
    bool show = page == selected && (e->flags & 1) && !(t && (t->flags & kFunctionUnit));
    ShowWindow(h, show ? SW_SHOWNA : SW_HIDE);
  }
}

// ---- property read ----

uint64_t read_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index) {
  WindowTemplate* w;
  Entry& e = entry_or_fail(window, unit, &w);
  if (e.menu_item) {
    switch (prop) {
      case 0: return new_text(e.tag);
      case 1: return (e.flags >> 2) & 1;
      case 2: return (e.flags >> 1) & 1;
      case 3: return (e.flags & 1) ? 0 : 1;
      default: return 0;
    }
  }
  const UnitTypeEntry* type = find_type(e.type);
  HWND live = live_handle(e);
  if (prop >= 8) {
    if (!live) runtime::raise_error(kNotLoadedYet, 0);
    auto get = reinterpret_cast<GetOp>(type_operation(type, kGetProperty));
    if (!get || !type || static_cast<uint32_t>(prop) >= type->property_count) return 0;
    PropData d{0, 0};
    if (!get(e.live_object, prop - 8, &d)) return 0;
    uint16_t t = type->properties[prop].type;
    if (t == kPropFont) {
      LOGFONTA lf = font_record(d);
      return font_read(lf, index);
    }
    if (is_text(t)) return new_text(d.word ? std::string(reinterpret_cast<const char*>(d.word), d.length) : std::string());
    if (is_bytes(t)) return new_bin(reinterpret_cast<const void*>(d.word), d.word ? d.length : 0);
    if (t == kPropDouble || t == kPropDateTime) return pack(d.word, d.length);
    if (t == kPropBool) return d.word == 1 ? 1 : 0;
    return pack(d.word);
  }
  bool loaded = live != nullptr;  // the unit's own window exists
  switch (prop) {
    case 0: case 1: case 2: case 3: {
      if (!loaded) {
        int32_t v[] = {e.left, e.top, e.width, e.height};
        return pack(static_cast<uint32_t>(v[prop]));
      }
      RECT r = unit_rect(live);
      int32_t v[] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
      return pack(static_cast<uint32_t>(v[prop]));
    }
    case 4: return new_text(e.tag);
    case 5: return loaded ? (IsWindowVisible(live) ? 1 : 0) : (e.flags & 1);
    case 6: return loaded ? (IsWindowEnabled(live) ? 0 : 1) : ((e.flags >> 1) & 1);
    case 7: return new_bin(e.cursor.data(), static_cast<uint32_t>(e.cursor.size()));
    default: return 0;
  }
}

// ---- property write ----

void write_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index, uint32_t lo,
                    uint32_t hi) {
  WindowTemplate* w;
  Entry& e = entry_or_fail(window, unit, &w);
  if (e.menu_item) {
    // Menu items: the menu bar is rebuilt only when something changes.
    uint32_t flags = e.flags;
    switch (prop) {
      case 0: {
        std::string caption = text_arg(lo);
        if (caption == e.tag) return;
        e.tag = caption;
        rebuild_menu(*w);
        return;
      }
      case 1: flags = lo ? (flags | 4) : (flags & ~4u); break;
      case 2: flags = lo ? (flags | 2) : (flags & ~2u); break;
      case 3: flags = lo ? (flags & ~1u) : (flags | 1); break;
      default: return;
    }
    if (flags == e.flags) return;
    e.flags = flags;
    rebuild_menu(*w);
    return;
  }
  const UnitTypeEntry* type = find_type(e.type);
  HWND live = live_handle(e);
  uint32_t id = e.id;
  if (prop >= 8) {
    if (!live) runtime::raise_error(kNotLoadedYet, 0);
    if (!type || static_cast<uint32_t>(prop) >= type->property_count) return;
    auto set = reinterpret_cast<SetOp>(type_operation(type, kSetProperty));
    if (!set) return;
    uint16_t t = type->properties[prop].type;
    std::string holder;
    PropData d{lo, 4};
    if (t == kPropFont) {
      auto get = reinterpret_cast<GetOp>(type_operation(type, kGetProperty));
      PropData cur{0, 0};
      if (get) get(e.live_object, prop - 8, &cur);
      LOGFONTA lf = font_record(cur);
      font_write(lf, index, lo);
      holder.assign(reinterpret_cast<const char*>(&lf), sizeof lf);
      d = {reinterpret_cast<uint32_t>(holder.data()), static_cast<uint32_t>(holder.size())};
    } else if (is_text(t)) {
      holder = text_arg(lo);
      d = {reinterpret_cast<uint32_t>(holder.c_str()), static_cast<uint32_t>(holder.size())};
    } else if (is_bytes(t)) {
      holder = bin_arg(lo);
      d = {reinterpret_cast<uint32_t>(holder.data()), static_cast<uint32_t>(holder.size())};
    } else if (t == kPropDouble || t == kPropDateTime) {
      d = {lo, hi};
    } else if (t == kPropBool) {
      d = {lo ? 1u : 0u, 4};
    } else if (t == kPropPick) {
      d = {static_cast<int32_t>(lo) < 0 ? 0u : lo, 4};
    }
    int again = set(e.live_object, prop - 8, &d, 0);
    // The entry may have moved (a handler ran); look it up again by identifier.
    WindowTemplate* w2 = find_window(window);
    Entry* e2 = w2 ? find_entry(*w2, id) : nullptr;
    if (again == 1 && e2 && live_handle(*e2)) recreate_unit(*w2, *e2);
    return;
  }
  switch (prop) {
    case 0: case 1: {
      int32_t v = std::clamp(static_cast<int32_t>(lo), -kCoordLimit, kCoordLimit);
      (prop == 0 ? e.left : e.top) = v;
      if (live) {
        RECT r = unit_rect(live);
        SetWindowPos(live, nullptr, prop == 0 ? v : r.left, prop == 1 ? v : r.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    }
    case 2: case 3: {
      int32_t v = std::clamp(static_cast<int32_t>(lo), 0, kCoordLimit);
      (prop == 2 ? e.width : e.height) = v;
      if (live) {
        RECT r = unit_rect(live);
        SetWindowPos(live, nullptr, 0, 0, prop == 2 ? v : r.right - r.left,
                     prop == 3 ? v : r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    }
    case 4: e.tag = text_arg(lo); break;
    case 5: {
      e.flags = lo ? (e.flags | 1) : (e.flags & ~1u);
      if (!live) break;
      if (!lo) {
        ShowWindow(live, SW_HIDE);
      } else if (auto* wu = dynamic_cast<WindowUnit*>(live_unit(e))) {
        wu->show_window();
      } else if (!(type && (type->flags & kFunctionUnit))) {
        Entry* tab = nullptr;
        int page = tab_page_of(*w, id, &tab);
        if (page < 0 || page == selected_page(*tab)) ShowWindow(live, SW_SHOWNA);
      }
      break;
    }
    case 6:
      e.flags = lo ? (e.flags | 2) : (e.flags & ~2u);
      if (live) EnableWindow(live, lo ? FALSE : TRUE);
      break;
    case 7: {
      e.cursor = bin_arg(lo);
      if (e.live_cursor) DestroyCursor(static_cast<HCURSOR>(e.live_cursor));
      e.live_cursor = cursor_from_data(e.cursor);
      if (live) {
        POINT p;
        GetCursorPos(&p);
        SetCursorPos(p.x, p.y);
      }
      break;
    }
    default: break;
  }
}

// ---- destruction and re-creation ----

void unit_destroyed(uint32_t window, uint32_t unit) {
  if (g_recreating) return;
  WindowTemplate* w = find_window(window);
  if (!w || w->entries.empty()) return;
  bool own = unit == 0 || unit == w->entries[0].id;
  if (!own) {
    Entry* e = find_entry(*w, unit);
    if (!e) return;
    if (e->live_cursor) DestroyCursor(static_cast<HCURSOR>(e->live_cursor));
    e->live_cursor = nullptr;
    e->live_object = nullptr;
    return;
  }
  WindowState& s = state_of(*w);
  if (s.modal) end_modal(s);
  for (Entry& e : w->entries) {
    if (e.live_cursor) DestroyCursor(static_cast<HCURSOR>(e.live_cursor));
    e.live_cursor = nullptr;
    e.live_object = nullptr;
  }
  if (s.has_copy) {
    w->entries.swap(s.entries_copy);
    s.entries_copy.clear();
    s.has_copy = false;
  }
  // The last loaded window gone: the main loop ends.
  runtime::Runtime& r = runtime::rt();
  if (r.loop_running && !r.shutting_down) {
    bool any = false;
    for (WindowTemplate* t : r.templates)
      if (t && t != w && live_window(*t)) any = true;
    if (!any) PostQuitMessage(0);
  }
}

void recreate_unit(WindowTemplate& w, Entry& e) {
  framework::Window* old = live_object(e);
  const UnitTypeEntry* type = find_type(e.type);
  auto get_all = reinterpret_cast<GetAllOp>(type_operation(type, kGetAllData));
  auto create = reinterpret_cast<CreateOp>(type_operation(type, kCreate));
  if (!old || !get_all || !create) return;
  hold_events();
  uint32_t length = 0;
  void* data = get_all(e.live_object, &length);
  HWND h = old->handle();
  HWND parent = GetParent(h);
  HWND before = GetWindow(h, GW_HWNDPREV);
  RECT r = unit_rect(h);
  DWORD style = GetWindowLongA(h, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP);
  UINT id = GetDlgCtrlID(h);
  g_recreating = true;
  if (Unit* u = dynamic_cast<Unit*>(old)) u->dispose();
  else DestroyWindow(h);
  g_recreating = false;
  void* made = create(static_cast<const uint8_t*>(data), length, style, parent, id, nullptr,
                      r.left, r.top, r.right - r.left, r.bottom - r.top, w.id, e.id, 0, 0);
  runtime::free_block(data);
  e.live_object = made;
  if (HWND made_handle = live_handle(e))
    SetWindowPos(made_handle, before ? before : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  release_events();
}

}  // namespace units
