// Drawing operations of the drawing units: one style per operation, bounds reported back.
#include "units/drawing.h"
#include <algorithm>
#include "units/picture_codec.h"

namespace units {

namespace {

constexpr int kHatches[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS,
                            HS_DIAGCROSS};

RECT bounds(int x1, int y1, int x2, int y2, int pad) {
  return {std::min(x1, x2) - pad, std::min(y1, y2) - pad, std::max(x1, x2) + pad + 1,
          std::max(y1, y2) + pad + 1};
}

}  // namespace

int pen_style_of(int pick) {
  static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL};
  return styles[pick < 0 || pick > 5 ? 0 : pick];
}

StyledDC::StyledDC(HDC dc, const DrawStyle& s) : dc_(dc), saved_(SaveDC(dc)) {
  pen_ = CreatePen(pen_style_of(s.pen_style), s.pen_width < 0 ? 0 : s.pen_width, s.pen & 0xFFFFFF);
  const COLORREF fill = s.fill & 0xFFFFFF;
  if (s.fill_style == 1 || s.fill == 0xFF000000) brush_ = nullptr;
  else if (s.fill_style >= 2 && s.fill_style <= 7) brush_ = CreateHatchBrush(kHatches[s.fill_style - 2], fill);
  else brush_ = CreateSolidBrush(fill);
  SelectObject(dc, pen_ ? static_cast<HGDIOBJ>(pen_) : GetStockObject(BLACK_PEN));
  SelectObject(dc, brush_ ? static_cast<HGDIOBJ>(brush_) : GetStockObject(NULL_BRUSH));
  SelectObject(dc, s.font ? static_cast<HGDIOBJ>(s.font) : GetStockObject(DEFAULT_GUI_FONT));
  SetROP2(dc, s.rop);
  SetBkMode(dc, s.text_opaque ? OPAQUE : TRANSPARENT);
  SetTextColor(dc, s.text & 0xFFFFFF);
  SetBkColor(dc, s.text_back & 0xFFFFFF);
}

StyledDC::~StyledDC() {
  RestoreDC(dc_, saved_);  // puts the stock objects back before ours go
  if (pen_) DeleteObject(pen_);
  if (brush_) DeleteObject(brush_);
}

bool Canvas::line(int x1, int y1, int x2, int y2) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  DrawStyle s = draw_style();
  {
    StyledDC styled(dc, s);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SetPixelV(dc, x2, y2, s.pen & 0xFFFFFF);  // the end point belongs to the line as well
  }
  drawn(bounds(x1, y1, x2, y2, s.pen_width));
  moved_to(x2, y2);
  return true;
}

bool Canvas::rectangle(int l, int t, int r, int b) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  DrawStyle s = draw_style();
  {
    StyledDC styled(dc, s);
    Rectangle(dc, l, t, r, b);
  }
  drawn(bounds(l, t, r, b, s.pen_width));
  moved_to(r, b);
  return true;
}

bool Canvas::ellipse(int l, int t, int r, int b) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  DrawStyle s = draw_style();
  {
    StyledDC styled(dc, s);
    Ellipse(dc, l, t, r, b);
  }
  drawn(bounds(l, t, r, b, s.pen_width));
  moved_to(r, b);
  return true;
}

bool Canvas::round_rectangle(int l, int t, int r, int b, int corner) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  DrawStyle s = draw_style();
  {
    StyledDC styled(dc, s);
    RoundRect(dc, l, t, r, b, corner, corner);
  }
  drawn(bounds(l, t, r, b, s.pen_width));
  moved_to(r, b);
  return true;
}

bool Canvas::text(int x, int y, std::string_view text) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  SIZE size{};
  {
    StyledDC styled(dc, draw_style());
    int n = static_cast<int>(text.size());
    TextOutA(dc, x, y, text.data(), n);
    GetTextExtentPoint32A(dc, text.data(), n, &size);
  }
  drawn({x, y, x + size.cx, y + size.cy});
  moved_to(x + size.cx, y);
  return true;
}

bool Canvas::picture(int x, int y, int w, int h, std::string_view data) {
  HDC dc = canvas_dc();
  Picture p;
  if (!dc || !p.decode(data)) return false;
  if (w <= 0) w = p.width();
  if (h <= 0) h = p.height();
  p.draw(dc, x, y, w, h);
  drawn({x, y, x + w, y + h});
  return true;
}

bool Canvas::set_pixel(int x, int y, COLORREF colour) {
  HDC dc = canvas_dc();
  if (!dc) return false;
  SetPixelV(dc, x, y, colour & 0xFFFFFF);
  drawn({x, y, x + 1, y + 1});
  return true;
}

COLORREF Canvas::pixel(int x, int y) {
  HDC dc = canvas_dc();
  return dc ? GetPixel(dc, x, y) : CLR_INVALID;
}

}  // namespace units
