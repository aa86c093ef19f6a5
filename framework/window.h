// Window objects: a C++ object per system window, the handle-to-object map and message routing.
#pragma once
#include <windows.h>
#include <cstddef>

namespace framework {

// Asked of a window that has no object yet during pre-translation: the window may answer
// with the address of its object (or 0).
inline constexpr UINT kQueryObject = 0x8002;

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return hwnd_; }
  bool exists() const { return hwnd_ && IsWindow(hwnd_); }

  // Binds an existing system window to this object (no subclassing); false when either
  // side is already bound.
  bool attach(HWND hwnd);
  // Unbinds and returns the handle; the system window lives on.
  HWND detach();
  // Creates a system window of a class registered by `register_class` and binds it.
  bool create(const char* cls, const char* title, DWORD style, DWORD ex_style, int x, int y,
              int w, int h, HWND parent, HMENU menu);
  // Destroys the system window (the object stays, unbound).
  void destroy();

  // The object bound to a handle, or null.
  static Window* from_handle(HWND hwnd);
  // `w` when it is a live object of this framework, else null (answers to kQueryObject
  // are checked with it).
  static Window* live_object(Window* w);
  // Number of bound objects (for tests and leak checks).
  static size_t bound_count();
  // Registers a window class whose procedure routes messages to the bound objects.
  static bool register_class(const char* name, HCURSOR cursor, HBRUSH background, UINT style = 0);

  // Message pre-translation: true consumes the message.
  virtual bool pre_translate(MSG&) { return false; }

 protected:
  // Message handling; call `default_proc` for anything not handled.
  virtual LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT default_proc(UINT msg, WPARAM wp, LPARAM lp);
  // Called after WM_NCDESTROY, when the object is already unbound.
  virtual void on_final_destroy() {}

 private:
  static LRESULT CALLBACK route(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

}  // namespace framework
