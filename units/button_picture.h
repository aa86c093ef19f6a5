// The picture shown on a button or check box instead of its caption: an icon gets the icon
// style, any other picture the bitmap style; a picture that cannot be loaded is dropped.
#pragma once
#include <windows.h>
#include <string>
#include "units/pictures.h"

namespace units {

class ButtonPicture {
 public:
  // Loads the picture; returns the style bit to add (BS_ICON, BS_BITMAP or 0).
  DWORD load(const std::string& data) {
    icon_.reset();
    bitmap_.reset();
    if (data.empty()) return 0;
    if (is_icon_file(data)) {
      icon_.reset(read_icon(data));
      return icon_.icon ? BS_ICON : 0;
    }
    bitmap_.reset(read_bitmap(data));
    return bitmap_.object ? BS_BITMAP : 0;
  }
  void apply(HWND button) const {
    if (icon_.icon) SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon_.icon));
    else if (bitmap_.object)
      SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_.object));
  }

 private:
  IconOwner icon_;
  GdiOwner bitmap_;
};

// Alignment styles of push buttons and check boxes: horizontal 0 left, 1 centre, 2 right;
// vertical 0 top, 1 centre, 2 bottom.
inline DWORD button_alignment(int horizontal, int vertical) {
  static const DWORD h[] = {BS_LEFT, BS_CENTER, BS_RIGHT};
  static const DWORD v[] = {BS_TOP, BS_VCENTER, BS_BOTTOM};
  return h[horizontal < 0 || horizontal > 2 ? 0 : horizontal] |
         v[vertical < 0 || vertical > 2 ? 1 : vertical];
}
inline constexpr DWORD kAlignmentMask = BS_CENTER | BS_VCENTER;

}  // namespace units
