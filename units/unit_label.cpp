// Label unit: a window of its own class that paints its caption with text effects, an
// optional self-painted frame, a picture or gradient background, alignment and word wrap.
#include <algorithm>
#include <vector>
#include "framework/gdi.h"
#include "units/border_styles.h"
#include "units/core_units.h"
#include "units/picture_codec.h"
#include "units/pictures.h"
#include "units/unit_base.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kCaption = 0, kEffect = 1, kBorder = 2, kFrameWidth = 3, kFrameColour1 = 4, kFrameColour2 = 5,
  kFrameColour3 = 6, kFont = 7, kTextColour = 8, kBackColour = 9, kPicture = 10,
  kPictureMode = 11, kGradientMode = 12, kGradientColour1 = 13, kGradientColour2 = 14,
  kGradientColour3 = 15, kHAlign = 16, kWordWrap = 17, kVAlign = 18, kText1 = 19, kText2 = 20
};

constexpr char kClass[] = "OrvelLabel";
constexpr uint32_t kDefaultColour = 0xFF000000;

COLORREF mix(COLORREF a, COLORREF b, int num, int den) {
  if (den <= 0) return a;
  auto ch = [&](int shift) {
    int x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
    return static_cast<COLORREF>((x + (y - x) * num / den) & 0xFF) << shift;
  };
  return ch(0) | ch(8) | ch(16);
}

// Colour at position i of n along a run of colours (default-colour values already removed).
COLORREF along(const std::vector<COLORREF>& colours, int i, int n) {
  if (n <= 1) return colours.front();
  int segments = static_cast<int>(colours.size()) - 1;
  int pos = i * segments * 256 / (n - 1);
  int seg = std::min(pos / 256, segments - 1);
  return mix(colours[seg], colours[seg + 1], pos - seg * 256, 256);
}

std::vector<COLORREF> usable(std::initializer_list<uint32_t> colours) {
  std::vector<COLORREF> out;
  for (uint32_t c : colours)
    if (c != kDefaultColour) out.push_back(c & 0xFFFFFF);
  return out;
}

void fill(HDC dc, const RECT& r, COLORREF c) {
  SetBkColor(dc, c);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

class Label : public Unit {
 public:
  bool load(DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > 2) return false;
    int32_t* ints[] = {&effect_, &frame_width_, &border_};
    for (int32_t* p : ints) d.i32(*p);
    for (uint32_t* p : {&frame_[0], &frame_[1], &frame_[2], &text_colour_, &back_colour_})
      d.u32(*p);
    d.i32(picture_mode_);
    d.i32(gradient_mode_);
    for (uint32_t* p : {&gradient_[0], &gradient_[1], &gradient_[2]}) d.u32(*p);
    d.i32(halign_);
    d.i32(valign_);
    uint32_t wrap = 0;
    if (d.u32(wrap)) word_wrap_ = wrap == 1;
    std::string font;
    if (d.bytes(font)) font_.set(font);
    d.bytes(picture_);
    d.bytes(caption_);
    if (version >= 2) {
      d.bytes(text1_);
      d.bytes(text2_);
    }
    clamp_all();
    return true;
  }
  std::string save() const override {
    DataWriter w;
    w.u32(2);
    w.i32(effect_);
    w.i32(frame_width_);
    w.i32(border_);
    for (uint32_t c : {frame_[0], frame_[1], frame_[2], text_colour_, back_colour_}) w.u32(c);
    w.i32(picture_mode_);
    w.i32(gradient_mode_);
    for (uint32_t c : gradient_) w.u32(c);
    w.i32(halign_);
    w.i32(valign_);
    w.u32(word_wrap_);
    w.bytes(font_.record());
    w.bytes(picture_);
    w.bytes(caption_);
    w.bytes(text1_);
    w.bytes(text2_);
    return w.data();
  }
  bool create_window(const CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr,
                                      CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
    DWORD style = a.style | WS_CHILD | WS_CLIPSIBLINGS, ex = 0;
    border_styles(border_, style, ex);
    return create(kClass, caption_.c_str(), style, ex, a.left, a.top, a.width, a.height,
                  a.parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id)));
  }
  int set_property(int index, const PropData& v) override {
    switch (index) {
      case kCaption: caption_ = text_in(v); SetWindowTextA(handle(), caption_.c_str()); break;
      case kEffect: effect_ = clamp_pick(v, 3); break;
      case kBorder: border_ = clamp_pick(v, 6); apply_border(handle(), border_); break;
      case kFrameWidth: frame_width_ = std::max(5, int_in(v)); break;
      case kFrameColour1: case kFrameColour2: case kFrameColour3:
        frame_[index - kFrameColour1] = v.word;
        break;
      case kFont: font_.set(text_in(v)); break;
      case kTextColour: text_colour_ = v.word; break;
      case kBackColour: back_colour_ = v.word; break;
      case kPicture: picture_ = text_in(v); picture_view_.reset(); picture_loaded_ = false; break;
      case kPictureMode: picture_mode_ = clamp_pick(v, 2); break;
      case kGradientMode: gradient_mode_ = clamp_pick(v, 8); break;
      case kGradientColour1: case kGradientColour2: case kGradientColour3:
        gradient_[index - kGradientColour1] = v.word;
        break;
      case kHAlign: halign_ = clamp_pick(v, 2); break;
      case kWordWrap: word_wrap_ = v.word != 0; break;
      case kVAlign: valign_ = clamp_pick(v, 2); break;
      case kText1: text1_ = text_in(v); return 0;
      case kText2: text2_ = text_in(v); return 0;
      default: return 0;
    }
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  bool get_property(int index, PropData& out) override {
    switch (index) {
      case kCaption: out = text_out(caption_); return true;
      case kEffect: out = int_out(effect_); return true;
      case kBorder: out = int_out(border_); return true;
      case kFrameWidth: out = int_out(frame_width_); return true;
      case kFrameColour1: case kFrameColour2: case kFrameColour3:
        out = int_out(static_cast<int32_t>(frame_[index - kFrameColour1]));
        return true;
      case kFont: out = bytes_out(font_.record()); return true;
      case kTextColour: out = int_out(static_cast<int32_t>(text_colour_)); return true;
      case kBackColour: out = int_out(static_cast<int32_t>(back_colour_)); return true;
      case kPicture: out = bytes_out(picture_); return true;
      case kPictureMode: out = int_out(picture_mode_); return true;
      case kGradientMode: out = int_out(gradient_mode_); return true;
      case kGradientColour1: case kGradientColour2: case kGradientColour3:
        out = int_out(static_cast<int32_t>(gradient_[index - kGradientColour1]));
        return true;
      case kHAlign: out = int_out(halign_); return true;
      case kWordWrap: out = int_out(word_wrap_); return true;
      case kVAlign: out = int_out(valign_); return true;
      case kText1: out = text_out(text1_); return true;
      case kText2: out = text_out(text2_); return true;
      default: return false;
    }
  }
  void convert_texts(TextRoutine routine, void* user) override {
    convert_one(routine, user, caption_, false);
    std::string face = font_.face();
    if (!face.empty() && convert_one(routine, user, face, true)) font_.set_face(face);
    convert_one(routine, user, text1_, false);
    convert_one(routine, user, text2_, false);
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
      framework::PaintDC dc(handle());
      if (!IsRectEmpty(&dc.info().rcPaint)) paint(dc.get());
      return 0;
    }
    if (msg == WM_PRINTCLIENT) {  // the same picture into a given device context
      paint(reinterpret_cast<HDC>(wp));
      return 0;
    }
    return Unit::on_message(msg, wp, lp);
  }

 private:
  void clamp_all() {
    auto clamp = [](int32_t& v, int32_t hi) { v = v < 0 ? 0 : v > hi ? hi : v; };
    clamp(effect_, 3);
    clamp(border_, 6);
    clamp(picture_mode_, 2);
    clamp(gradient_mode_, 8);
    clamp(halign_, 2);
    clamp(valign_, 2);
    if (frame_width_ < 5) frame_width_ = 5;
  }
  void paint(HDC dc) {
    RECT rc;
    GetClientRect(handle(), &rc);
    int saved = SaveDC(dc);
    if (border_ == 6 && frame_width_ > 0) {
      auto colours = usable({frame_[0], frame_[1], frame_[2]});
      if (colours.size() >= 2) {
        for (int i = 0; i < frame_width_ && rc.right - rc.left > 1 && rc.bottom - rc.top > 1; ++i) {
          COLORREF c = along(colours, i, frame_width_);
          RECT edges[4] = {{rc.left, rc.top, rc.right, rc.top + 1},
                           {rc.left, rc.bottom - 1, rc.right, rc.bottom},
                           {rc.left, rc.top, rc.left + 1, rc.bottom},
                           {rc.right - 1, rc.top, rc.right, rc.bottom}};
          for (const RECT& e : edges) fill(dc, e, c);
          InflateRect(&rc, -1, -1);
        }
      }
    }
    IntersectClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
    RECT left = rc;  // what picture and gradient leave for the background colour
    if (!picture_.empty() && draw_picture(dc, rc)) {
      left = {0, 0, 0, 0};
    } else if (gradient_mode_ > 0) {
      auto colours = usable({gradient_[0], gradient_[1], gradient_[2]});
      if (colours.size() >= 2) {
        draw_gradient(dc, rc, colours);
        left = {0, 0, 0, 0};
      }
    }
    if (!IsRectEmpty(&left))
      fill(dc, left, back_colour_ == kDefaultColour ? GetSysColor(COLOR_BTNFACE)
                                                    : (back_colour_ & 0xFFFFFF));
    if (!caption_.empty()) draw_caption(dc, rc);
    RestoreDC(dc, saved);
  }
  bool draw_picture(HDC dc, const RECT& rc) {
    if (!picture_loaded_) {
      picture_view_.decode(picture_);  // bad data: no picture, and not decoded again
      picture_loaded_ = true;
    }
    if (!picture_view_) return false;
    auto colour = back_colour_ == kDefaultColour ? GetSysColor(COLOR_BTNFACE) : (back_colour_ & 0xFFFFFF);
    // Mode 0 leaves the rest in the background colour, and transparent parts show it too.
    if (picture_mode_ == 0 || picture_view_.has_alpha()) fill(dc, rc, colour);
    static const int kPlacement[] = {0, 1, 2};  // top left, stretched, tiled
    picture_view_.place(dc, rc, kPlacement[std::clamp(picture_mode_, 0, 2)]);
    return true;
  }
  // Modes: 1 left to right, 2 top to bottom, 3 right to left, 4 bottom to top, 5 from the
  // vertical centre line outwards, 6 from the horizontal centre line outwards, 7 and 8 the
  // two diagonals.
  void draw_gradient(HDC dc, const RECT& rc, const std::vector<COLORREF>& colours) {
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return;
    switch (gradient_mode_) {
      case 1: case 3: case 5:
        for (int x = 0; x < w; ++x) {
          int i = gradient_mode_ == 1 ? x : gradient_mode_ == 3 ? w - 1 - x
                                           : std::abs(2 * x - (w - 1)) / 2;
          int n = gradient_mode_ == 5 ? (w + 1) / 2 : w;
          RECT r{rc.left + x, rc.top, rc.left + x + 1, rc.bottom};
          fill(dc, r, along(colours, std::min(i, n - 1), n));
        }
        break;
      case 2: case 4: case 6:
        for (int y = 0; y < h; ++y) {
          int i = gradient_mode_ == 2 ? y : gradient_mode_ == 4 ? h - 1 - y
                                           : std::abs(2 * y - (h - 1)) / 2;
          int n = gradient_mode_ == 6 ? (h + 1) / 2 : h;
          RECT r{rc.left, rc.top + y, rc.right, rc.top + y + 1};
          fill(dc, r, along(colours, std::min(i, n - 1), n));
        }
        break;
      default: {
        int n = w + h - 1;
        for (int y = 0; y < h; ++y)
          for (int x0 = 0; x0 < w;) {  // runs of equal colour along each row
            int i = gradient_mode_ == 7 ? x0 + y : (w - 1 - x0) + y;
            COLORREF c = along(colours, i, n);
            int x1 = x0 + 1;
            while (x1 < w && along(colours, gradient_mode_ == 7 ? x1 + y : (w - 1 - x1) + y, n) == c) ++x1;
            RECT r{rc.left + x0, rc.top + y, rc.left + x1, rc.top + y + 1};
            fill(dc, r, c);
            x0 = x1;
          }
        break;
      }
    }
  }
  void draw_caption(HDC dc, const RECT& rc) {
    SelectObject(dc, font_.get());
    SetBkMode(dc, TRANSPARENT);
    static const UINT h[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    static const UINT v[] = {DT_TOP, DT_VCENTER, DT_BOTTOM};
    UINT format = DT_NOCLIP | h[halign_] |
                  (word_wrap_ ? DT_WORDBREAK : (DT_SINGLELINE | v[valign_]));
    RECT r = rc;
    auto draw = [&](int dx, int dy, COLORREF c) {
      RECT t = r;
      OffsetRect(&t, dx, dy);
      SetTextColor(dc, c);
      DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &t, format);
    };
    COLORREF text = text_colour_ == kDefaultColour ? GetSysColor(COLOR_WINDOWTEXT) : (text_colour_ & 0xFFFFFF);
    switch (effect_) {
      case 1: draw(1, 1, RGB(255, 255, 255)); draw(0, 0, text); break;
      case 2: draw(0, 0, RGB(255, 255, 255)); draw(1, 1, text); break;
      case 3: draw(2, 2, RGB(0, 0, 0)); draw(0, 0, text); break;
      default: draw(0, 0, text); break;
    }
  }

  int32_t effect_ = 0, frame_width_ = 8, border_ = 0, picture_mode_ = 1, gradient_mode_ = 0;
  int32_t halign_ = 0, valign_ = 1;
  uint32_t frame_[3] = {0x808080, 0xFFFFFF, 0x808080};
  uint32_t gradient_[3] = {0x808080, 0xFFFFFF, 0x808080};
  uint32_t text_colour_ = 0, back_colour_ = kDefaultColour;
  bool word_wrap_ = false;
  std::string caption_, picture_, text1_, text2_;
  FontHolder font_;
  Picture picture_view_;  // decoded from picture_ at the first paint
  bool picture_loaded_ = false;
};

void* __cdecl label_interface(int number) {
  return standard_interface(number, &create_op<Label>, {kConvertTexts});
}

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropPick, kPropInt, kPropColourOrClear,
                               kPropColourOrClear, kPropColourOrClear, kPropFont, kPropColour,
                               kPropBackColour, kPropPicture, kPropPick, kPropPick,
                               kPropColourOrClear, kPropColourOrClear, kPropColourOrClear,
                               kPropPick, kPropBool, kPropPick, kPropText, kPropText};
constexpr auto kProperties = with_common(kTypes);

}  // namespace

const CoreUnitType kLabelUnitType{10, kProperties.data(), kProperties.size(), &label_interface};

}  // namespace units
