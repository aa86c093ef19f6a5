// Drawing panel unit: draws lines, figures, texts and pictures into an off-screen image the
// size of the panel, painted from there, so its drawing survives every repaint (with auto
// redraw off, a repaint starts again from the background). The pen, fill and text
// properties style each drawing; the current position follows the last drawing.
#include "units/border_styles.h"
#include "units/drawing.h"
#include "units/media_units.h"
#include "units/picture_codec.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBorder = 0, kBackColour = 1, kPicture = 2, kPictureMode = 3, kAutoRedraw = 4, kDrawMode = 5,
  kPenStyle = 6, kFillStyle = 7, kPenWidth = 8, kPenColour = 9, kTextBackMode = 10,
  kTextColour = 11, kTextBackColour = 12, kFillColour = 13, kFont = 14, kCurrentX = 15,
  kCurrentY = 16
};

// Draw mode values 0..15 are the raster operations 1..16 (12: the pen's own colour).
constexpr Field kFields[] = {
    {Kind::kPick, 0, 5},  {Kind::kColour, 0xFFFFFF}, {Kind::kBytes},      {Kind::kPick, 0, 4},
    {Kind::kBool, 1},     {Kind::kPick, 12, 15},     {Kind::kPick, 0, 5}, {Kind::kPick, 1, 7},
    {Kind::kInt, 1},      {Kind::kColour, 0},        {Kind::kPick, 0, 1}, {Kind::kColour, 0},
    {Kind::kColour, 0xFFFFFF}, {Kind::kColour, 0xFFFFFF}, {Kind::kFont}, {Kind::kInt, 0},
    {Kind::kInt, 0},
};

constexpr char kClass[] = "OrvelDrawPanel";

// The off-screen image: a memory device context holding a screen-compatible bitmap.
class Buffer {
 public:
  ~Buffer() { reset(); }
  HDC dc() const { return dc_; }
  int width() const { return w_; }
  int height() const { return h_; }
  // A new image of at least w x h, the old one copied into its top left.
  bool grow(int w, int h, COLORREF back) {
    if (dc_ && w <= w_ && h <= h_) return true;
    w = w > w_ ? w : w_;
    h = h > h_ ? h : h_;
    framework::ClientDC screen(nullptr);
    HDC dc = CreateCompatibleDC(screen.get());
    HBITMAP bmp = CreateCompatibleBitmap(screen.get(), w < 1 ? 1 : w, h < 1 ? 1 : h);
    if (!dc || !bmp) {
      if (dc) DeleteDC(dc);
      if (bmp) DeleteObject(bmp);
      return false;
    }
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, w, h};
    SetBkColor(dc, back);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    if (dc_) BitBlt(dc, 0, 0, w_, h_, dc_, 0, 0, SRCCOPY);
    reset();
    dc_ = dc;
    bitmap_ = bmp;
    old_ = old;
    w_ = w;
    h_ = h;
    return true;
  }

 private:
  void reset() {
    if (dc_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    w_ = h_ = 0;
  }
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  int w_ = 0, h_ = 0;
};

class DrawPanel : public StoredUnit, public Canvas {
 public:
  DrawPanel() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    DWORD style = 0, ex = 0;
    border_styles(num(kBorder), style, ex);
    if (!create_private(kClass, a, style, ex)) return false;
    picture_.decode(str(kPicture));
    RECT rc;
    GetClientRect(handle(), &rc);
    if (!buffer_.grow(rc.right, rc.bottom, back())) return false;
    clear();
    return true;
  }
  bool clear() override {
    if (!buffer_.dc()) return false;
    RECT all{0, 0, buffer_.width(), buffer_.height()};
    SetBkColor(buffer_.dc(), back());
    ExtTextOutA(buffer_.dc(), 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    RECT rc;
    GetClientRect(handle(), &rc);
    picture_.place(buffer_.dc(), rc, num(kPictureMode));
    InvalidateRect(handle(), nullptr, FALSE);
    return true;
  }

 protected:
  HDC canvas_dc() override { return buffer_.dc(); }
  DrawStyle draw_style() override {
    DrawStyle s;
    s.rop = num(kDrawMode) + 1;
    s.pen_style = num(kPenStyle);
    s.pen_width = num(kPenWidth) < 0 ? 0 : num(kPenWidth);
    s.pen = static_cast<uint32_t>(num(kPenColour)) & 0xFFFFFF;
    s.fill_style = num(kFillStyle);
    s.fill = static_cast<uint32_t>(num(kFillColour));
    s.text_opaque = num(kTextBackMode) == 1;
    s.text = static_cast<uint32_t>(num(kTextColour)) & 0xFFFFFF;
    s.text_back = static_cast<uint32_t>(num(kTextBackColour)) & 0xFFFFFF;
    s.font = font();
    return s;
  }
  void drawn(const RECT& r) override { InvalidateRect(handle(), &r, FALSE); }
  void moved_to(int x, int y) override {
    set_num(kCurrentX, x);
    set_num(kCurrentY, y);
  }
  int apply(int index) override {
    switch (index) {
      case kBorder: apply_border(handle(), num(kBorder)); break;
      case kPicture: picture_.decode(str(kPicture)); clear(); break;
      case kBackColour: case kPictureMode: clear(); break;
      default: break;
    }
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_SIZE: buffer_.grow(LOWORD(lp), HIWORD(lp), back()); break;
      case WM_PAINT: {
        if (!flag(kAutoRedraw)) clear();
        framework::PaintDC dc(handle());
        const RECT& r = dc.info().rcPaint;
        BitBlt(dc.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, buffer_.dc(), r.left,
               r.top, SRCCOPY);
        return 0;
      }
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  COLORREF back() const { return colour(kBackColour, COLOR_WINDOW); }
  Buffer buffer_;
  Picture picture_;
};

void* __cdecl drawpanel_interface(int number) { return table_interface<DrawPanel>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick,   kPropBackColour, kPropPicture, kPropPick,
                               kPropBool,   kPropPick,       kPropPick,    kPropPick,
                               kPropInt,    kPropColour,     kPropPick,    kPropColour,
                               kPropColour, kPropColourOrClear, kPropFont, kPropInt,
                               kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 25);

}  // namespace

const CoreUnitType kDrawPanelUnitType{8, kProperties.data(), kProperties.size(), &drawpanel_interface};

}  // namespace units
