// Picture data to bitmaps and back: every picture property of every unit (window background,
// button and check box pictures, picture units) and runtime notifications 1003 and 2034 go
// through this one decoder, the platform's imaging component. BMP, ICO, CUR, GIF (first
// frame), JPEG and PNG data decode; anything else, corrupt or truncated gives no picture.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>
#include "framework/gdi.h"

namespace units {

// A decoded picture: a 32-bit top-down DIB section with premultiplied alpha.
class Picture {
 public:
  Picture() = default;
  Picture(Picture&&) = default;
  Picture& operator=(Picture&&) = default;
  // Takes a 32-bit premultiplied top-down DIB section of w x h.
  Picture(HBITMAP dib, int w, int h, bool alpha) : bitmap_(dib), width_(w), height_(h), alpha_(alpha) {}
  // Decodes `data`; false (and no picture) when it is not a picture the decoder accepts.
  bool decode(std::string_view data);
  void reset() { bitmap_.reset(); width_ = height_ = 0; alpha_ = false; }
  explicit operator bool() const { return static_cast<bool>(bitmap_); }
  int width() const { return width_; }
  int height() const { return height_; }
  bool has_alpha() const { return alpha_; }  // some pixel is not fully opaque
  HBITMAP bitmap() const { return bitmap_.get(); }
  // Draws the picture into (x, y, w, h), blending where it is transparent.
  void draw(HDC dc, int x, int y, int w, int h) const;
  void draw(HDC dc, int x, int y) const { draw(dc, x, y, width_, height_); }
  // Draws the picture into `area` placed by `mode`: 0 at the top left, 1 stretched over the
  // area, 2 tiled, 3 centred, 4 scaled to fit keeping its proportions, centred.
  void place(HDC dc, const RECT& area, int mode) const;
  // An opaque device-independent copy, transparent parts laid over `back`.
  HBITMAP flat(COLORREF back) const;

 private:
  framework::Bitmap bitmap_;
  int width_ = 0, height_ = 0;
  bool alpha_ = false;
};

// The frames of an animated picture (a GIF of several frames), each composed on the
// picture's whole area as it is to be shown, with its delay. A picture of one frame, or an
// animation too large to keep (above kMaxAnimationBytes of frames), decodes to nothing here;
// `Picture` still shows its first frame.
class Animation {
 public:
  bool decode(std::string_view data);
  void reset() { frames_.clear(); delays_.clear(); }
  int frames() const { return static_cast<int>(frames_.size()); }
  const Picture& frame(int i) const { return frames_[i]; }
  // At least 20 ms; shorter delays (often 0) are shown as 100 ms.
  int delay_ms(int i) const { return delays_[i]; }

 private:
  std::vector<Picture> frames_;
  std::vector<int> delays_;
};

inline constexpr size_t kMaxAnimationFrames = 1000;
inline constexpr size_t kMaxAnimationBytes = 64u << 20;

// The largest picture decoded, per side and in pixels: headers that claim more are refused
// before any pixel memory is taken.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr long long kMaxPicturePixels = 64LL * 1024 * 1024;

// The stored form of a bitmap: BMP file data (24 bits per pixel), empty when `bitmap` is
// not a bitmap.
std::string store_bitmap(HBITMAP bitmap);

// Registers runtime notifications 1003 (picture data, length -> bitmap or 0) and 2034
// (bitmap -> byte set of BMP data, or 0).
void install_picture_codes();

}  // namespace units
