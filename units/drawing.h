// Drawing for the units that draw on request (drawing panel, printer): a style made of
// their pen, fill and text properties, and the drawing operations their commands call.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string_view>

namespace units {

// How figures and texts are drawn. Fill colour 0xFF000000 (and fill style 1) draw no fill.
struct DrawStyle {
  int rop = R2_COPYPEN;       // raster operation of pens and brushes
  int pen_style = 0;          // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none
  int pen_width = 1;
  COLORREF pen = 0;
  int fill_style = 1;         // 0 solid, 1 none, 2..7 hatches (horizontal, vertical, falling
                              // diagonal, rising diagonal, cross, diagonal cross)
  uint32_t fill = 0xFFFFFF;
  bool text_opaque = false;   // texts on their background colour, or transparent
  COLORREF text = 0, text_back = 0xFFFFFF;
  HFONT font = nullptr;       // null: the default GUI font
};

// The drawing operations. Coordinates are pixels of the target's surface; every operation
// returns false when there is nothing to draw on.
class Canvas {
 public:
  virtual ~Canvas() = default;
  bool line(int x1, int y1, int x2, int y2);
  bool rectangle(int left, int top, int right, int bottom);
  bool ellipse(int left, int top, int right, int bottom);
  bool round_rectangle(int left, int top, int right, int bottom, int corner);
  bool text(int x, int y, std::string_view text);
  // Picture data of any format the picture decoder reads; width or height 0: its own size.
  bool picture(int x, int y, int width, int height, std::string_view data);
  bool set_pixel(int x, int y, COLORREF colour);
  // The colour at a point, or CLR_INVALID.
  COLORREF pixel(int x, int y);
  // Fills the whole surface with the background.
  virtual bool clear() = 0;

 protected:
  // The device context drawn on, or null.
  virtual HDC canvas_dc() = 0;
  virtual DrawStyle draw_style() = 0;
  // After an operation: the bounds it touched, and the pen's new position.
  virtual void drawn(const RECT&) {}
  virtual void moved_to(int, int) {}
};

// Selects a style's pen, brush, font and modes into a device context for one block.
class StyledDC {
 public:
  StyledDC(HDC dc, const DrawStyle& s);
  ~StyledDC();
  StyledDC(const StyledDC&) = delete;
  StyledDC& operator=(const StyledDC&) = delete;

 private:
  HDC dc_;
  int saved_;
  HPEN pen_ = nullptr;
  HBRUSH brush_ = nullptr;
};

// The pen style of a pen-style pick value (0..5).
int pen_style_of(int pick);

}  // namespace units
