// Thin owners over Win32 handles (fonts, bitmaps, regions, icons, global memory, menus) and
// scopes that hold a device context or a selected object for exactly one block, so that no
// release call has to be repeated at each return.
#pragma once
#include <windows.h>
#include <utility>

namespace framework {

// How each kind of handle is given back.
struct GdiObjectDeleter {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct IconDeleter {
  void operator()(HICON h) const { DestroyIcon(h); }
};
struct GlobalMemoryDeleter {
  void operator()(HGLOBAL h) const { GlobalFree(h); }
};
struct MenuDeleter {
  void operator()(HMENU h) const { DestroyMenu(h); }
};

// Owns one handle (null = none) and gives it back when it goes; move-only.
template <class Handle, class Deleter>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle h) : h_(h) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : h_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  // Gives up ownership (the handle now belongs to whoever takes it) and returns the handle.
  Handle release() { return std::exchange(h_, nullptr); }
  // Gives back the handle held, if any, and takes `h`.
  void reset(Handle h = nullptr) {
    if (Handle old = std::exchange(h_, h)) Deleter{}(old);
  }

 private:
  Handle h_ = nullptr;
};

using Font = Owned<HFONT, GdiObjectDeleter>;
using Bitmap = Owned<HBITMAP, GdiObjectDeleter>;
using Region = Owned<HRGN, GdiObjectDeleter>;
using Icon = Owned<HICON, IconDeleter>;
using GlobalMemory = Owned<HGLOBAL, GlobalMemoryDeleter>;
using Menu = Owned<HMENU, MenuDeleter>;

// Kernel handles (files, events, threads, ports) and file searches. Null means none: a call
// that reports failure as INVALID_HANDLE_VALUE goes through valid_or_null first.
struct KernelHandleDeleter {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
struct FindHandleDeleter {
  void operator()(HANDLE h) const { FindClose(h); }
};
using KernelHandle = Owned<HANDLE, KernelHandleDeleter>;
using FindHandle = Owned<HANDLE, FindHandleDeleter>;
inline HANDLE valid_or_null(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

// A window's client-area device context (null window: the screen), released at scope end.
class ClientDC {
 public:
  explicit ClientDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~ClientDC() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  ClientDC(const ClientDC&) = delete;
  ClientDC& operator=(const ClientDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// The painting of one WM_PAINT: BeginPaint here, EndPaint at scope end.
class PaintDC {
 public:
  explicit PaintDC(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
  ~PaintDC() { EndPaint(hwnd_, &ps_); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  HDC get() const { return dc_; }
  const PAINTSTRUCT& info() const { return ps_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

// A memory device context compatible with `like` (null: the screen), deleted at scope end.
class MemoryDC {
 public:
  explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
  ~MemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects a font, bitmap, brush or pen into a device context and puts the one it replaced
// back at scope end (not for regions: SelectObject copies those and returns no handle).
class SelectScope {
 public:
  SelectScope(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectScope() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;
  // Selects another object of the same kind; the first one replaced is still what comes back.
  void select(HGDIOBJ object) { SelectObject(dc_, object); }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A movable global memory block locked for one scope.
class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
  ~GlobalLockScope() {
    if (data_) GlobalUnlock(block_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  void* get() const { return data_; }

 private:
  HGLOBAL block_;
  void* data_;
};

// The screen's pixels per logical inch vertically (96 when the device does not say).
inline int screen_dpi() {
  ClientDC screen(nullptr);
  int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi ? dpi : 96;
}

// A logical font's height for a size in points (negative: the character height, without
// the internal leading), and the size in points of a height of either sign.
inline LONG font_height(int points, int dpi) { return -MulDiv(points, dpi, 72); }
inline int font_points(LONG height, int dpi) { return MulDiv(height < 0 ? -height : height, 72, dpi); }

}  // namespace framework
