// Radio box unit: a system radio button with caption or picture, alignment, colours and font.
// Checking one (a click, a write of checked, Alt with its mnemonic, an arrow key moving the
// focus to it) unchecks the other radio boxes of the same container; event 0 follows each
// check by the user.
#include "units/button_picture.h"
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kPicture = 0, kPushLike = 1, kFlat = 2, kCaption = 3, kLeftText = 4, kHAlign = 5,
  kVAlign = 6, kTextColour = 7, kBackColour = 8, kFont = 9, kChecked = 10
};

constexpr Field kFields[] = {
    {Kind::kBytes}, {Kind::kBool}, {Kind::kBool}, {Kind::kText}, {Kind::kBool},
    {Kind::kPick, 0, 2}, {Kind::kPick, 1, 2}, {Kind::kColour, 0},
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont}, {Kind::kBool},
};

class RadioBox : public StoredUnit {
 public:
  RadioBox() : StoredUnit(kFields, std::size(kFields), 1) {
    use_colours(kTextColour, kBackColour, COLOR_BTNFACE);
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = base_style(a) | BS_MULTILINE | BS_RADIOBUTTON | flag_styles() |
                  picture_view_.load(str(kPicture));
    if (!create_control("BUTTON", str(kCaption).c_str(), style, 0, a.left, a.top, a.width,
                        a.height, a.parent, a.control_id))
      return false;
    picture_view_.apply(handle());
    apply_font();
    SendMessageA(handle(), BM_SETCHECK, flag(kChecked) ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
  }
  void on_command(WORD code) override {
    if (code != BN_CLICKED) return;
    check();
    raise(0);
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kPicture: return 1;
      case kCaption: SetWindowTextA(handle(), str(kCaption).c_str()); return 0;
      case kFont: apply_font(); return 0;
      case kChecked:
        if (flag(kChecked)) check();
        else SendMessageA(handle(), BM_SETCHECK, BST_UNCHECKED, 0);
        return 0;
      case kPushLike: case kFlat: case kLeftText: case kHAlign: case kVAlign: {
        LONG style = GetWindowLongA(handle(), GWL_STYLE) &
                     ~(kAlignmentMask | BS_PUSHLIKE | BS_FLAT | BS_LEFTTEXT);
        SetWindowLongA(handle(), GWL_STYLE, style | flag_styles());
        break;
      }
      default: break;
    }
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    // Focus moved here by an arrow key (the window moves it among the radio boxes) checks
    // this box, as a click does.
    if (msg == WM_SETFOCUS && !flag(kChecked) &&
        (GetKeyState(VK_UP) < 0 || GetKeyState(VK_DOWN) < 0 || GetKeyState(VK_LEFT) < 0 ||
         GetKeyState(VK_RIGHT) < 0)) {
      LRESULT r = StoredUnit::on_message(msg, wp, lp);
      check();
      raise(0);
      return r;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }
  void refresh(int index) override {
    if (index == kChecked && handle())
      set_num(kChecked, SendMessageA(handle(), BM_GETCHECK, 0, 0) == BST_CHECKED);
  }

 private:
  DWORD flag_styles() const {
    return button_alignment(num(kHAlign), num(kVAlign)) | (flag(kPushLike) ? BS_PUSHLIKE : 0) |
           (flag(kFlat) ? BS_FLAT : 0) | (flag(kLeftText) ? BS_LEFTTEXT : 0);
  }
  // Checks this box and unchecks the other radio boxes of its container.
  void check() {
    set_num(kChecked, 1);
    SendMessageA(handle(), BM_SETCHECK, BST_CHECKED, 0);
    for (HWND h = GetWindow(GetParent(handle()), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
      auto* other = dynamic_cast<RadioBox*>(Unit::from_window(h));
      if (other && other != this) {
        other->set_num(kChecked, 0);
        SendMessageA(h, BM_SETCHECK, BST_UNCHECKED, 0);
      }
    }
  }
  ButtonPicture picture_view_;
};

void* __cdecl radiobox_interface(int number) { return table_interface<RadioBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropPicture, kPropBool, kPropBool, kPropText, kPropBool,
                               kPropPick, kPropPick, kPropColour, kPropBackColour, kPropFont,
                               kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 19);

}  // namespace

const CoreUnitType kRadioBoxUnitType{13, kProperties.data(), kProperties.size(), &radiobox_interface};

}  // namespace units
