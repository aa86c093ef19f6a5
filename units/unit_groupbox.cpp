// Group box unit: a system group box with a caption that holds other units; it takes no
// focus, and Alt with its mnemonic moves the focus on.
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kCaption = 0, kAlign = 1, kTextColour = 2, kBackColour = 3, kFont = 4 };

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kPick, 0, 2}, {Kind::kColour, 0}, {Kind::kColour, int32_t(kDefaultColour)},
    {Kind::kFont},
};

DWORD align_style(int a) {
  static const DWORD styles[] = {BS_LEFT, BS_CENTER, BS_RIGHT};
  return styles[a];
}

class GroupBox : public StoredUnit {
 public:
  GroupBox() : StoredUnit(kFields, std::size(kFields), 1) {
    use_colours(kTextColour, kBackColour, COLOR_BTNFACE);
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = (base_style(a) & ~WS_TABSTOP) | WS_CLIPCHILDREN | BS_GROUPBOX |
                  align_style(num(kAlign));
    if (!create_control("BUTTON", str(kCaption).c_str(), style, 0, a.left, a.top, a.width,
                        a.height, a.parent, a.control_id))
      return false;
    apply_font();
    return true;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kCaption: SetWindowTextA(handle(), str(kCaption).c_str()); break;
      case kAlign: {
        LONG style = GetWindowLongA(handle(), GWL_STYLE) & ~(BS_LEFT | BS_CENTER | BS_RIGHT);
        SetWindowLongA(handle(), GWL_STYLE, style | align_style(num(kAlign)));
        break;
      }
      case kFont: apply_font(); break;
      default: break;
    }
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    // The system group box passes clicks to the window beneath; this unit raises its own
    // mouse events instead (its children are hit first all the same).
    if (msg == WM_NCHITTEST) return HTCLIENT;
    // The system group box paints only its frame and caption; the window beneath it clips
    // its children, so the inside is filled here.
    if (msg == WM_ERASEBKGND) {
      RECT r;
      GetClientRect(handle(), &r);
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, colour(kBackColour, COLOR_BTNFACE));
      ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
      return 1;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }
};

void* __cdecl groupbox_interface(int number) { return table_interface<GroupBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropColour, kPropBackColour, kPropFont};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 13);

}  // namespace

const CoreUnitType kGroupBoxUnitType{9, kProperties.data(), kProperties.size(), &groupbox_interface};

}  // namespace units
