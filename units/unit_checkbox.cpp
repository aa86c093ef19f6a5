// Check box unit: a system automatic check box with caption or picture, alignment, colours
// and font; event 0 follows each click, after the check state has toggled.
#include "units/button_picture.h"
#include "units/core_units.h"
#include "units/unit_base.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kPicture = 0, kPushLike = 1, kFlat = 2, kCaption = 3, kLeftText = 4, kHAlign = 5, kVAlign = 6,
  kTextColour = 7, kBackColour = 8, kFont = 9, kChecked = 10, kText1 = 11, kText2 = 12
};

constexpr uint32_t kDefaultColour = 0xFF000000;

class CheckBox : public Unit {
 public:
  bool load(DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > 2) return false;
    uint32_t v;
    if (d.u32(v)) push_like_ = v == 1;
    if (d.u32(v)) flat_ = v == 1;
    if (d.u32(v)) left_text_ = v == 1;
    if (d.u32(v)) halign_ = v > 2 ? 2 : v;
    if (d.u32(v)) valign_ = v > 2 ? 2 : v;
    d.u32(text_colour_);
    d.u32(back_colour_);
    if (d.u32(v)) checked_ = v == 1;  // only exactly 1 starts checked
    std::string font;
    d.bytes(picture_);
    if (d.bytes(font)) font_.set(font);
    d.bytes(caption_);
    if (version >= 2) {
      d.bytes(text1_);
      d.bytes(text2_);
    }
    return true;
  }
  std::string save() const override {
    DataWriter w;
    w.u32(2);
    w.u32(push_like_);
    w.u32(flat_);
    w.u32(left_text_);
    w.i32(halign_);
    w.i32(valign_);
    w.u32(text_colour_);
    w.u32(back_colour_);
    w.u32(current_check());
    w.bytes(picture_);
    w.bytes(font_.record());
    w.bytes(caption_);
    w.bytes(text1_);
    w.bytes(text2_);
    return w.data();
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = a.style | WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE | BS_AUTOCHECKBOX |
                  flag_styles() | picture_view_.load(picture_);
    if (!create_control("BUTTON", caption_.c_str(), style, 0, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    picture_view_.apply(handle());
    SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SendMessageA(handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
  }
  int set_property(int index, const PropData& v) override {
    switch (index) {
      case kPicture: picture_ = text_in(v); checked_ = current_check(); return 1;
      case kPushLike: push_like_ = v.word != 0; restyle(); return 0;
      case kFlat: flat_ = v.word != 0; restyle(); return 0;
      case kCaption: caption_ = text_in(v); SetWindowTextA(handle(), caption_.c_str()); return 0;
      case kLeftText: left_text_ = v.word != 0; restyle(); return 0;
      case kHAlign: halign_ = clamp_pick(v, 2); restyle(); return 0;
      case kVAlign: valign_ = clamp_pick(v, 2); restyle(); return 0;
      case kTextColour: text_colour_ = v.word; InvalidateRect(handle(), nullptr, TRUE); return 0;
      case kBackColour:
        back_colour_ = v.word;
        brush_.reset();
        InvalidateRect(handle(), nullptr, TRUE);
        return 0;
      case kFont:
        font_.set(text_in(v));
        SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        return 0;
      case kChecked:
        checked_ = v.word == 1;
        SendMessageA(handle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
        return 0;
      case kText1: text1_ = text_in(v); return 0;
      case kText2: text2_ = text_in(v); return 0;
      default: return 0;
    }
  }
  bool get_property(int index, PropData& out) override {
    switch (index) {
      case kPicture: out = bytes_out(picture_); return true;
      case kPushLike: out = int_out(push_like_); return true;
      case kFlat: out = int_out(flat_); return true;
      case kCaption: out = text_out(caption_); return true;
      case kLeftText: out = int_out(left_text_); return true;
      case kHAlign: out = int_out(halign_); return true;
      case kVAlign: out = int_out(valign_); return true;
      case kTextColour: out = int_out(static_cast<int32_t>(text_colour_)); return true;
      case kBackColour: out = int_out(static_cast<int32_t>(back_colour_)); return true;
      case kFont: out = bytes_out(font_.record()); return true;
      case kChecked: out = int_out(current_check()); return true;
      case kText1: out = text_out(text1_); return true;
      case kText2: out = text_out(text2_); return true;
      default: return false;
    }
  }
  void on_command(WORD code) override {
    if (code == BN_CLICKED) raise(0);
  }
  HBRUSH on_ctl_color(HDC dc) override {
    if (text_colour_ != kDefaultColour) SetTextColor(dc, text_colour_ & 0xFFFFFF);
    COLORREF back = back_colour_ == kDefaultColour ? GetSysColor(COLOR_BTNFACE)
                                                   : (back_colour_ & 0xFFFFFF);
    SetBkColor(dc, back);
    if (!brush_.object) brush_.reset(CreateSolidBrush(back));
    return static_cast<HBRUSH>(brush_.object);
  }
  void convert_texts(TextRoutine routine, void* user) override {
    convert_one(routine, user, caption_, false);
    std::string face = font_.face();
    if (!face.empty() && convert_one(routine, user, face, true)) font_.set_face(face);
    convert_one(routine, user, text1_, false);
    convert_one(routine, user, text2_, false);
  }

 private:
  uint32_t current_check() const {
    if (!handle()) return checked_ ? 1 : 0;
    return SendMessageA(handle(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  }
  DWORD flag_styles() const {
    return button_alignment(halign_, valign_) | (push_like_ ? BS_PUSHLIKE : 0) |
           (flat_ ? BS_FLAT : 0) | (left_text_ ? BS_LEFTTEXT : 0);
  }
  void restyle() {
    LONG style = GetWindowLongA(handle(), GWL_STYLE) &
                 ~(kAlignmentMask | BS_PUSHLIKE | BS_FLAT | BS_LEFTTEXT);
    SetWindowLongA(handle(), GWL_STYLE, style | flag_styles());
    InvalidateRect(handle(), nullptr, TRUE);
  }
  bool push_like_ = false, flat_ = false, left_text_ = false, checked_ = false;
  int32_t halign_ = 0, valign_ = 1;
  uint32_t text_colour_ = 0, back_colour_ = kDefaultColour;
  std::string picture_, caption_, text1_, text2_;
  FontHolder font_;
  ButtonPicture picture_view_;
  GdiOwner brush_;
};

void* __cdecl checkbox_interface(int number) {
  return standard_interface(number, &create_op<CheckBox>, {kConvertTexts});
}

constexpr uint16_t kTypes[] = {kPropPicture, kPropBool, kPropBool, kPropText, kPropBool,
                               kPropPick, kPropPick, kPropColour, kPropBackColour, kPropFont,
                               kPropBool, kPropText, kPropText};
constexpr auto kProperties = with_common(kTypes);

}  // namespace

const CoreUnitType kCheckBoxUnitType{12, kProperties.data(), kProperties.size(),
                                     &checkbox_interface};

}  // namespace units
