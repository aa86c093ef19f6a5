// Window objects for system controls: a control window ("EDIT", "BUTTON", ...) created and
// subclassed so that its messages reach the object first and the class procedure after.
#pragma once
#include "framework/window.h"

namespace framework {

class ControlWindow : public Window {
 public:
  // Creates a window of a system class, binds it and routes its messages to this object.
  bool create_control(const char* cls, const char* title, DWORD style, DWORD ex_style, int x,
                      int y, int w, int h, HWND parent, UINT control_id);

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override { return pass(msg, wp, lp); }
  // The class's own procedure (or the default procedure for windows of our own classes).
  LRESULT pass(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK subclass_route(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  WNDPROC original_ = nullptr;
};

}  // namespace framework
