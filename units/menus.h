// Menus: the window's menu bar and keyboard accelerators built from its run of menu-item
// entries, and the commands they send.
//
// Menu item data (the builder's fields of a menu-item entry, all optional):
//   OFFSET SIZE DESCRIPTION
//        0    4 level: 0 = an item of the menu bar, n = an item of the pop-up menu of the
//               nearest earlier item of level n - 1
//        4    4 shortcut: virtual-key code in bits 0..15; bit 16 Control, 17 Shift, 18 Alt;
//               0 = none
// Item n of the run (counting from 0) sends command 20000 + n.
#pragma once
#include <windows.h>
#include <cstdint>
#include "units/templates.h"

namespace units {

inline constexpr UINT kFirstMenuCommand = 20000;

// A menu item description (runtime notification 2038): the caller fills the window and the
// command, the runtime the rest.
#pragma pack(push, 1)
struct MenuItemQuery {
  uint32_t window_id;   // in
  uint32_t command;     // in: 20000 + item number
  char caption[251];    // out: caption, then a tab and the shortcut's name ("Ctrl+O"); NUL-ended
  uint8_t reserved;
  uint32_t checked;     // out: 1 checked
  uint32_t enabled;     // out: 1 enabled
};
#pragma pack(pop)
static_assert(sizeof(MenuItemQuery) == 268);

// Answers a menu item description; false when the window or the item does not exist.
bool describe_menu_item(MenuItemQuery& q);

struct BuiltMenu {
  HMENU bar = nullptr;      // null when the window has no visible menu items
  HACCEL accelerators = nullptr;
};

BuiltMenu build_menu(const WindowTemplate& w);
// Replaces the live window's menu bar and accelerators with ones built anew.
void rebuild_menu(WindowTemplate& w);
// The menu item entry of a command, or null.
Entry* menu_item_of(WindowTemplate& w, UINT command);

}  // namespace units
