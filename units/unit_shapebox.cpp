// Shape box unit: a static box that draws one figure (rectangles, ellipses, rounded boxes,
// lines) with its line style, width and colour, filled by its fill style and colour.
#include "units/drawing.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBackColour = 0, kShape = 1, kLineStyle = 2, kFillStyle = 3, kLineWidth = 4, kLineColour = 5,
  kFillColour = 6
};

// Shapes: 0 rectangle, 1 square, 2 ellipse, 3 circle, 4 rounded rectangle, 5 rounded square,
// 6 horizontal line, 7 vertical line, 8 falling diagonal, 9 rising diagonal.
constexpr int kShapes = 10;

constexpr Field kFields[] = {
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kPick, 0, kShapes - 1}, {Kind::kPick, 0, 5},
    {Kind::kPick, 1, 7}, {Kind::kInt, 1}, {Kind::kColour, 0}, {Kind::kColour, 0xFFFFFF},
};

constexpr char kClass[] = "OrvelShapeBox";

class ShapeBox : public StoredUnit {
 public:
  ShapeBox() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override { return create_private(kClass, a); }

 protected:
  int apply(int index) override {
    if (index == kLineWidth && num(kLineWidth) < 0) set_num(kLineWidth, 0);
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
      framework::PaintDC dc(handle());
      paint(dc.get());
      return 0;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  void paint(HDC dc) {
    RECT rc;
    GetClientRect(handle(), &rc);
    SetBkColor(dc, colour(kBackColour, COLOR_BTNFACE));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    DrawStyle s;
    s.pen_style = num(kLineStyle);
    s.pen_width = num(kLineWidth) < 0 ? 0 : num(kLineWidth);
    s.pen = static_cast<uint32_t>(num(kLineColour)) & 0xFFFFFF;
    s.fill_style = num(kFillStyle);
    s.fill = static_cast<uint32_t>(num(kFillColour));
    StyledDC styled(dc, s);
    // The figure lies inside the box, the pen's width included.
    int inset = (s.pen_width + 1) / 2;
    int l = inset, t = inset, r = rc.right - inset + 1, b = rc.bottom - inset + 1;
    int w = r - l, h = b - t, side = w < h ? w : h;
    int sl = l + (w - side) / 2, st = t + (h - side) / 2;
    int corner = side / 4;
    switch (num(kShape)) {
      case 1: Rectangle(dc, sl, st, sl + side, st + side); break;
      case 2: Ellipse(dc, l, t, r, b); break;
      case 3: Ellipse(dc, sl, st, sl + side, st + side); break;
      case 4: RoundRect(dc, l, t, r, b, corner, corner); break;
      case 5: RoundRect(dc, sl, st, sl + side, st + side, corner, corner); break;
      case 6: MoveToEx(dc, 0, rc.bottom / 2, nullptr); LineTo(dc, rc.right, rc.bottom / 2); break;
      case 7: MoveToEx(dc, rc.right / 2, 0, nullptr); LineTo(dc, rc.right / 2, rc.bottom); break;
      case 8: MoveToEx(dc, 0, 0, nullptr); LineTo(dc, rc.right, rc.bottom); break;
      case 9: MoveToEx(dc, 0, rc.bottom - 1, nullptr); LineTo(dc, rc.right, -1); break;
      default: Rectangle(dc, l, t, r, b); break;
    }
  }
};

void* __cdecl shapebox_interface(int number) { return table_interface<ShapeBox>(number, false); }

constexpr uint16_t kTypes[] = {kPropBackColour, kPropPick, kPropPick, kPropPick, kPropInt,
                               kPropColour, kPropColourOrClear};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 15);

}  // namespace

const CoreUnitType kShapeBoxUnitType{7, kProperties.data(), kProperties.size(), &shapebox_interface};

}  // namespace units
