// Button unit: a system push button with caption or picture, alignment and font; event 0 is
// its click.
#include "units/button_picture.h"
#include "units/core_units.h"
#include "units/unit_base.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kPicture = 0, kKind = 1, kCaption = 2, kHAlign = 3, kVAlign = 4, kFont = 5
};

class Button : public Unit {
 public:
  bool load(DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > 1) return false;
    uint32_t v;
    if (d.u32(v)) kind_ = v > 1 ? 1 : v;
    if (d.u32(v)) halign_ = v > 2 ? 2 : v;
    if (d.u32(v)) valign_ = v > 2 ? 2 : v;
    std::string font;
    d.bytes(picture_);
    if (d.bytes(font)) font_.set(font);
    d.bytes(caption_);
    return true;
  }
  std::string save() const override {
    DataWriter w;
    w.u32(1);
    w.i32(kind_);
    w.i32(halign_);
    w.i32(valign_);
    w.bytes(picture_);
    w.bytes(font_.record());
    w.bytes(caption_);
    return w.data();
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = a.style | WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE |
                  button_alignment(halign_, valign_) |
                  (kind_ == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | picture_view_.load(picture_);
    if (!create_control("BUTTON", caption_.c_str(), style, 0, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    picture_view_.apply(handle());
    SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return true;
  }
  int set_property(int index, const PropData& v) override {
    switch (index) {
      case kPicture: picture_ = text_in(v); return 1;
      case kKind:
        kind_ = clamp_pick(v, 1);
        SendMessageA(handle(), BM_SETSTYLE, kind_ == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        return 0;
      case kCaption:
        caption_ = text_in(v);
        SetWindowTextA(handle(), caption_.c_str());
        return 0;
      case kHAlign: halign_ = clamp_pick(v, 2); restyle(); return 0;
      case kVAlign: valign_ = clamp_pick(v, 2); restyle(); return 0;
      case kFont:
        font_.set(text_in(v));
        SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        return 0;
      default: return 0;
    }
  }
  bool get_property(int index, PropData& out) override {
    switch (index) {
      case kPicture: out = bytes_out(picture_); return true;
      case kKind: out = int_out(kind_); return true;
      case kCaption: out = text_out(caption_); return true;
      case kHAlign: out = int_out(halign_); return true;
      case kVAlign: out = int_out(valign_); return true;
      case kFont: out = bytes_out(font_.record()); return true;
      default: return false;
    }
  }
  bool acts_on_enter() override {
    return (GetWindowLongA(handle(), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
  }
  void on_command(WORD code) override {
    if (code == BN_CLICKED) raise(0);
  }
  void convert_texts(TextRoutine routine, void* user) override {
    convert_one(routine, user, caption_, false);
    std::string face = font_.face();
    if (!face.empty() && convert_one(routine, user, face, true)) font_.set_face(face);
  }

 private:
  void restyle() {
    LONG style = GetWindowLongA(handle(), GWL_STYLE) & ~kAlignmentMask;
    SetWindowLongA(handle(), GWL_STYLE, style | button_alignment(halign_, valign_));
    InvalidateRect(handle(), nullptr, TRUE);
  }
  int32_t kind_ = 0, halign_ = 1, valign_ = 1;
  std::string picture_, caption_;
  FontHolder font_;
  ButtonPicture picture_view_;
};

void* __cdecl button_interface(int number) {
  return standard_interface(number, &create_op<Button>, {kConvertTexts, kActsOnEnter});
}

constexpr uint16_t kTypes[] = {kPropPicture, kPropPick, kPropText, kPropPick, kPropPick,
                               kPropFont};
constexpr auto kProperties = with_common(kTypes);

}  // namespace

const CoreUnitType kButtonUnitType{11, kProperties.data(), kProperties.size(), &button_interface};

}  // namespace units
