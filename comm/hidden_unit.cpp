// Hidden unit windows of the communication units.
#include "comm/hidden_unit.h"
#include "units/framework.h"

namespace comm {

bool HiddenUnit::create_hidden(const char* cls, const units::CreateArgs& a) {
  framework::Window::register_class(cls, LoadCursor(nullptr, IDC_ARROW), nullptr, CS_DBLCLKS);
  DWORD style = (a.style & ~WS_VISIBLE) | WS_CHILD | WS_CLIPSIBLINGS | (design_ ? WS_BORDER : 0);
  return create(cls, "", style, 0, a.left, a.top, a.width, a.height, a.parent,
                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id)));
}

units::Unit* find_live_unit(uint32_t window, uint32_t unit) {
  units::WindowTemplate* w = units::find_window(window);
  units::Entry* e = w ? units::find_entry(*w, unit) : nullptr;
  return e ? units::live_unit(*e) : nullptr;
}

}  // namespace comm
