// The message pump: idle phase while nothing waits, then one message at a time.
#include "framework/app.h"

namespace framework {

namespace {
constexpr UINT kSysTimer = 0x0118;
}

int App::run_loop(int mode) {
  bool idle = true;
  long idle_count = 0;
  MSG msg;
  for (;;) {
    while (idle && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      run_idle_routines();
      bool more = on_idle(idle_count++);
      if (mode == kModalLoop && !modal_active()) return 0;
      if (!more) idle = false;
    }
    do {
      if (mode == kModalLoop && !modal_active()) return 0;
      if (!pump_message()) {
        if (mode == kModalLoop) PostQuitMessage(quit_code);
        return quit_code;
      }
      // The message just dispatched decides whether idle processing starts over.
      if (resets_idle(current_)) {
        idle = true;
        idle_count = 0;
      }
    } while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  }
}

bool App::pump_message() {
  MSG msg;
  BOOL got = GetMessageA(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    quit_code = got == 0 ? static_cast<int>(msg.wParam) : 0;
    return false;
  }
  current_ = msg;
  if (!pre_translate(msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void App::pump_pending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (msg.message == WM_QUIT) return;  // left waiting for the loop that owns it
    if (!pump_message()) {
      PostQuitMessage(quit_code);
      return;
    }
  }
}

bool App::pre_translate(MSG& msg) {
  if (!msg.hwnd) return thread_message(msg);
  for (HWND h = msg.hwnd; h; h = GetParent(h)) {
    Window* w = Window::from_handle(h);
    if (!w) {
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      if (pid == GetCurrentProcessId())
        w = Window::live_object(reinterpret_cast<Window*>(SendMessageA(h, kQueryObject, 0, 0)));
    }
    if (w && w->pre_translate(msg)) return true;
    if (h == main_window) break;
  }
  return false;
}

bool App::resets_idle(const MSG& msg) {
  if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
    bool same = msg.message == last_mouse_msg_ && msg.pt.x == last_mouse_.x &&
                msg.pt.y == last_mouse_.y;
    last_mouse_ = msg.pt;
    last_mouse_msg_ = msg.message;
    return !same;
  }
  return msg.message != WM_PAINT && msg.message != kSysTimer;
}

bool App::on_idle(long count) {
  // Count 0 asks for one more pass; afterwards the framework has nothing left to do.
  return count <= 0;
}

}  // namespace framework
