// Pictures for units: the icon reader (icon files, or any image the platform can turn into an
// icon) and bitmaps from picture data. Malformed data gives no picture, never a crash.
#pragma once
#include <windows.h>
#include <string>

namespace units {

// Icon reader, first mode: an icon file (ICO layout: a 6-byte directory header, 16-byte
// entries, image data at the entries' offsets); the entry that best fits cx x cy (the exact
// size at the highest colour depth, else the nearest larger size, else the largest) becomes
// the icon. cx or cy 0: the system's large icon size.
HICON read_icon_file(const std::string& data, int cx = 0, int cy = 0);
// Icon reader, second mode: any other image the platform can turn into an icon (a bare icon
// image, a BMP file whose bitmap becomes the icon's colour and mask).
HICON read_icon_image(const std::string& data, int cx = 0, int cy = 0);
// Both modes in order.
HICON read_icon(const std::string& data, int cx = 0, int cy = 0);

// Whether the data hold an icon file rather than another picture.
bool is_icon_file(const std::string& data);
// An opaque bitmap from picture data of any format the picture decoder reads (BMP, ICO,
// CUR, GIF, JPEG, PNG; transparent parts laid over the button face colour), or null. Defined
// in picture_codec.cpp: the one decoding path of all picture properties.
HBITMAP read_bitmap(const std::string& data);

// RAII owners.
struct IconOwner {
  HICON icon = nullptr;
  IconOwner() = default;
  IconOwner(const IconOwner&) = delete;
  IconOwner& operator=(const IconOwner&) = delete;
  ~IconOwner() { reset(); }
  void reset(HICON h = nullptr) {
    if (icon) DestroyIcon(icon);
    icon = h;
  }
};

struct GdiOwner {
  HGDIOBJ object = nullptr;
  GdiOwner() = default;
  GdiOwner(const GdiOwner&) = delete;
  GdiOwner& operator=(const GdiOwner&) = delete;
  ~GdiOwner() { reset(); }
  void reset(HGDIOBJ h = nullptr) {
    if (object) DeleteObject(object);
    object = h;
  }
};

}  // namespace units
