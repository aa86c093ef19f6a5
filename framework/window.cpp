// Window objects: the handle-to-object map and the one window procedure that routes to them.
#include "framework/window.h"
#include <unordered_map>
#include <unordered_set>

namespace framework {

namespace {

std::unordered_map<HWND, Window*>& handle_map() {
  static std::unordered_map<HWND, Window*> map;
  return map;
}

std::unordered_set<Window*>& live_objects() {
  static std::unordered_set<Window*> set;
  return set;
}

thread_local Window* g_creating = nullptr;  // object whose window is being created on this thread

}  // namespace

Window::Window() { live_objects().insert(this); }

Window::~Window() {
  if (hwnd_) handle_map().erase(hwnd_);
  live_objects().erase(this);
}

Window* Window::live_object(Window* w) { return live_objects().count(w) ? w : nullptr; }

bool Window::attach(HWND hwnd) {
  if (!hwnd || hwnd_ || handle_map().count(hwnd)) return false;
  hwnd_ = hwnd;
  handle_map()[hwnd] = this;
  return true;
}

HWND Window::detach() {
  HWND h = hwnd_;
  if (h) handle_map().erase(h);
  hwnd_ = nullptr;
  return h;
}

bool Window::create(const char* cls, const char* title, DWORD style, DWORD ex_style, int x, int y,
                    int w, int h, HWND parent, HMENU menu) {
  if (hwnd_) return false;
  g_creating = this;
  HWND made = CreateWindowExA(ex_style, cls, title, style, x, y, w, h, parent, menu,
                              GetModuleHandleA(nullptr), nullptr);
  g_creating = nullptr;
  if (made && !hwnd_) attach(made);
  return made != nullptr;
}

void Window::destroy() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  detach();
}

Window* Window::from_handle(HWND hwnd) {
  auto it = handle_map().find(hwnd);
  return it == handle_map().end() ? nullptr : it->second;
}

size_t Window::bound_count() { return handle_map().size(); }

bool Window::register_class(const char* name, HCURSOR cursor, HBRUSH background, UINT style) {
  WNDCLASSA wc{};
  HINSTANCE inst = GetModuleHandleA(nullptr);
  if (GetClassInfoA(inst, name, &wc)) return true;
  wc = {};
  wc.style = style;
  wc.lpfnWndProc = &Window::route;
  wc.hInstance = inst;
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  return RegisterClassA(&wc) != 0;
}

LRESULT Window::on_message(UINT msg, WPARAM wp, LPARAM lp) { return default_proc(msg, wp, lp); }

LRESULT Window::default_proc(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Window::route(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = from_handle(hwnd);
  if (!w && g_creating) {  // first message of a window being created: bind it now
    w = g_creating;
    g_creating = nullptr;
    w->attach(hwnd);
  }
  if (!w) return DefWindowProcA(hwnd, msg, wp, lp);
  LRESULT r = w->on_message(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    w->detach();
    w->on_final_destroy();
  }
  return r;
}

}  // namespace framework
