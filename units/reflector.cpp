// Notification reflection for foreign containers: a window procedure in front of theirs.
#include "units/reflector.h"
#include "units/unit_base.h"

namespace units {

namespace {

constexpr char kPreviousProc[] = "OrvelReflectedProc";

LRESULT CALLBACK reflecting_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(h, kPreviousProc));
  switch (msg) {
    case WM_COMMAND:
      if (Unit* u = lp ? Unit::from_window(reinterpret_cast<HWND>(lp)) : nullptr) {
        u->on_command(HIWORD(wp));
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT: case WM_CTLCOLORSTATIC: case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSCROLLBAR:
      if (Unit* u = Unit::reflection_target(h, msg, wp, lp))
        if (HBRUSH b = u->on_ctl_color(reinterpret_cast<HDC>(wp))) return reinterpret_cast<LRESULT>(b);
      break;
    case WM_NOTIFY: case WM_HSCROLL: case WM_VSCROLL: case WM_DRAWITEM: case WM_MEASUREITEM:
      if (Unit* u = Unit::reflection_target(h, msg, wp, lp)) {
        LRESULT answer = 0;
        if (u->on_reflected(msg, wp, lp, answer)) return answer;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      RemovePropA(h, kPreviousProc);
      break;
    default:
      break;
  }
  return previous ? CallWindowProcA(previous, h, msg, wp, lp) : DefWindowProcA(h, msg, wp, lp);
}

}  // namespace

void reflect_to_units(HWND container) {
  if (!container || GetPropA(container, kPreviousProc) || Unit::from_window(container)) return;
  LONG_PTR previous = GetWindowLongPtrA(container, GWLP_WNDPROC);
  if (!previous || !SetPropA(container, kPreviousProc, reinterpret_cast<HANDLE>(previous))) return;
  SetWindowLongPtrA(container, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&reflecting_proc));
}

}  // namespace units
