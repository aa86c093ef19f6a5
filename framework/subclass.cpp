// Window objects for system controls: creation, subclassing and the pass-through procedure.
#include "framework/subclass.h"

namespace framework {

bool ControlWindow::create_control(const char* cls, const char* title, DWORD style,
                                   DWORD ex_style, int x, int y, int w, int h, HWND parent,
                                   UINT control_id) {
  if (handle()) return false;
  HWND made = CreateWindowExA(ex_style, cls, title, style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control_id)),
                              GetModuleHandleA(nullptr), nullptr);
  if (!made) return false;
  if (!attach(made)) {
    DestroyWindow(made);
    return false;
  }
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(made, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&subclass_route)));
  return true;
}

LRESULT ControlWindow::pass(UINT msg, WPARAM wp, LPARAM lp) {
  if (original_) return CallWindowProcA(original_, handle(), msg, wp, lp);
  return default_proc(msg, wp, lp);
}

LRESULT CALLBACK ControlWindow::subclass_route(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* w = static_cast<ControlWindow*>(from_handle(hwnd));
  if (!w) return DefWindowProcA(hwnd, msg, wp, lp);
  LRESULT r = w->on_message(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(w->original_));
    w->detach();
    w->on_final_destroy();
  }
  return r;
}

}  // namespace framework
