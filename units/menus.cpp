// Menus: building the menu bar and accelerators from the menu-item entries of a window.
#include "units/menus.h"
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "framework/gdi.h"
#include "units/framework.h"
#include "units/unit_data.h"
#include "units/window_state.h"
#include "units/window_unit.h"

namespace units {

namespace {

struct ItemData {
  uint32_t level = 0;
  uint32_t shortcut = 0;
};

ItemData item_data(const Entry& e) {
  ItemData d;
  DataReader r(reinterpret_cast<const uint8_t*>(e.data.data()), static_cast<uint32_t>(e.data.size()));
  r.u32(d.level);
  r.u32(d.shortcut);
  if (d.level > 16) d.level = 16;
  return d;
}

std::vector<const Entry*> menu_run(const WindowTemplate& w) {
  std::vector<const Entry*> run;
  for (const Entry& e : w.entries)
    if (e.menu_item) run.push_back(&e);
  return run;
}

}  // namespace

BuiltMenu build_menu(const WindowTemplate& w) {
  BuiltMenu out;
  std::vector<const Entry*> run = menu_run(w);
  if (run.empty()) return out;
  out.bar = CreateMenu();
  std::vector<HMENU> levels = {out.bar};  // the menu that receives items of each level
  std::vector<ACCEL> accels;
  uint32_t hidden_below = UINT32_MAX;     // items under a hidden item are left out too
  for (size_t i = 0; i < run.size(); ++i) {
    const Entry& e = *run[i];
    ItemData d = item_data(e);
    if (d.level > hidden_below) continue;
    hidden_below = UINT32_MAX;
    if (d.level >= levels.size()) d.level = static_cast<uint32_t>(levels.size() - 1);
    levels.resize(d.level + 1);
    if (e.flags & 1) {  // hidden
      hidden_below = d.level;
      continue;
    }
    bool parent = i + 1 < run.size() && item_data(*run[i + 1]).level > d.level;
    UINT flags = MF_STRING | ((e.flags & 2) ? MF_GRAYED : 0) | ((e.flags & 4) ? MF_CHECKED : 0);
    UINT id = kFirstMenuCommand + static_cast<UINT>(i);
    const char* caption = e.tag.empty() ? " " : e.tag.c_str();
    if (parent) {
      HMENU popup = CreatePopupMenu();
      AppendMenuA(levels.back(), flags | MF_POPUP, reinterpret_cast<UINT_PTR>(popup), caption);
      levels.push_back(popup);
    } else if (e.tag == "-") {
      AppendMenuA(levels.back(), MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuA(levels.back(), flags, id, caption);
    }
    if (d.shortcut & 0xFFFF) {
      BYTE virt = FVIRTKEY | ((d.shortcut >> 16) & 1 ? FCONTROL : 0) |
                  ((d.shortcut >> 17) & 1 ? FSHIFT : 0) | ((d.shortcut >> 18) & 1 ? FALT : 0);
      accels.push_back({virt, static_cast<WORD>(d.shortcut & 0xFFFF), static_cast<WORD>(id)});
    }
  }
  if (!accels.empty()) out.accelerators = CreateAcceleratorTableA(accels.data(), static_cast<int>(accels.size()));
  return out;
}

void rebuild_menu(WindowTemplate& w) {
  WindowUnit* live = live_window(w);
  if (!live) return;
  BuiltMenu m = build_menu(w);
  framework::Menu old(GetMenu(live->handle()));  // the bar replaced; destroyed on return
  SetMenu(live->handle(), m.bar);
  live->set_accelerators(m.accelerators);
  DrawMenuBar(live->handle());
}

Entry* menu_item_of(WindowTemplate& w, UINT command) {
  if (command < kFirstMenuCommand) return nullptr;
  size_t n = command - kFirstMenuCommand;
  for (Entry& e : w.entries)
    if (e.menu_item && n-- == 0) return &e;
  return nullptr;
}

std::string shortcut_name(uint32_t shortcut) {
  if (!(shortcut & 0xFFFF)) return {};
  std::string name;
  if (shortcut & 0x10000) name += "Ctrl+";
  if (shortcut & 0x20000) name += "Shift+";
  if (shortcut & 0x40000) name += "Alt+";
  char key[64] = {};
  UINT scan = MapVirtualKeyA(shortcut & 0xFFFF, MAPVK_VK_TO_VSC);
  if (!GetKeyNameTextA(static_cast<LONG>(scan << 16), key, sizeof key)) {
    key[0] = static_cast<char>(shortcut & 0xFF);
    key[1] = 0;
  }
  return name + key;
}

bool describe_menu_item(MenuItemQuery& q) {
  WindowTemplate* w = find_window(q.window_id);
  Entry* e = w ? menu_item_of(*w, q.command) : nullptr;
  if (!e) return false;
  std::string caption = e->tag;
  std::string keys = shortcut_name(item_data(*e).shortcut);
  if (!keys.empty()) caption += "\t" + keys;
  caption.resize(std::min<size_t>(caption.size(), 250));
  std::memcpy(q.caption, caption.c_str(), caption.size() + 1);
  q.checked = (e->flags & 4) ? 1 : 0;
  q.enabled = (e->flags & 2) ? 0 : 1;
  return true;
}

}  // namespace units
