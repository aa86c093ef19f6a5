// Colour picker unit: a drop-down list of colour swatches (the 16 standard colours, the
// current colour when it is another, "透明" when transparent is allowed, and "其它..." which
// opens the system colour dialog). Event 0 reports each colour the user picks (argument:
// the colour; 0xFF000000 is transparent).
#include <windows.h>
#include <commdlg.h>
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kColour = 0, kAllowTransparent = 1 };

constexpr Field kFields[] = {{Kind::kColour, 0}, {Kind::kBool}};

constexpr uint32_t kTransparent = kDefaultColour;
constexpr uint32_t kOtherColour = 0xFE000000;  // item value of the colour dialog's entry

constexpr uint32_t kStandard[16] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

class ColorPicker : public StoredUnit {
 public:
  ColorPicker() : StoredUnit(kFields, std::size(kFields), 1) {}
  // Escape and Enter close an open drop-down; they do not reach the window (which would
  // close, or click its default button).
  bool wants_key(const MSG& m) override {
    bool key = (m.message == WM_KEYDOWN || m.message == WM_KEYUP || m.message == WM_CHAR) &&
               (m.wParam == VK_ESCAPE || m.wParam == VK_RETURN);
    return key && SendMessageA(handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = base_style(a) | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | WS_VSCROLL;
    if (!create_control("COMBOBOX", "", style, 0, a.left, a.top, a.width, a.height + 240,
                        a.parent, a.control_id))
      return false;
    apply_font();
    fill();
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg == WM_MEASUREITEM) {
      reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = kItemHeight;
      result = TRUE;
      return true;
    }
    if (msg != WM_DRAWITEM) return false;
    draw(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
    result = TRUE;
    return true;
  }
  void on_command(WORD code) override {
    if (code != CBN_SELCHANGE) return;
    LRESULT at = SendMessageA(handle(), CB_GETCURSEL, 0, 0);
    if (at < 0) return;
    uint32_t c = static_cast<uint32_t>(SendMessageA(handle(), CB_GETITEMDATA, at, 0));
    if (c == kOtherColour) {
      // The colour dialog: its answer joins the list, a cancel goes back to the colour before.
      static COLORREF custom[16];
      CHOOSECOLORA cc{sizeof cc};
      cc.hwndOwner = GetAncestor(handle(), GA_ROOT);
      cc.rgbResult = uint32_t(num(kColour)) & 0xFFFFFF;
      cc.lpCustColors = custom;
      cc.Flags = CC_RGBINIT | CC_FULLOPEN;
      if (!ChooseColorA(&cc)) {
        fill();
        return;
      }
      c = cc.rgbResult;
    }
    if (c == uint32_t(num(kColour))) return;
    set_num(kColour, static_cast<int32_t>(c));
    fill();
    raise(0, {c});
  }

 protected:
  int apply(int) override {
    fill();
    return 0;
  }

 private:
  static constexpr int kItemHeight = 16;
  void add(uint32_t c, const char* text = "") {
    LRESULT at = SendMessageA(handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (at >= 0) SendMessageA(handle(), CB_SETITEMDATA, at, c);
  }
  // The entries, and the current colour selected (added when it is not a standard one; a
  // transparent colour that is not allowed shows as black).
  void fill() {
    uint32_t now = uint32_t(num(kColour));
    if (now != kTransparent) now &= 0xFFFFFF;
    if (now == kTransparent && !flag(kAllowTransparent)) now = 0;
    set_num(kColour, static_cast<int32_t>(now));
    SendMessageA(handle(), CB_RESETCONTENT, 0, 0);
    SendMessageA(handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kItemHeight);
    SendMessageA(handle(), CB_SETITEMHEIGHT, 0, kItemHeight);
    if (flag(kAllowTransparent)) add(kTransparent, "透明");
    bool standard = now == kTransparent;
    for (uint32_t c : kStandard) {
      add(c);
      if (c == now) standard = true;
    }
    if (!standard) add(now);
    add(kOtherColour, "其它...");
    LRESULT n = SendMessageA(handle(), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
      if (static_cast<uint32_t>(SendMessageA(handle(), CB_GETITEMDATA, i, 0)) == now)
        SendMessageA(handle(), CB_SETCURSEL, i, 0);
  }
  void draw(const DRAWITEMSTRUCT& d) {
    HDC dc = d.hDC;
    RECT r = d.rcItem;
    bool selected = d.itemState & ODS_SELECTED;
    SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    if (d.itemID == static_cast<UINT>(-1)) return;
    uint32_t c = static_cast<uint32_t>(d.itemData);
    char text[32] = {};
    SendMessageA(handle(), CB_GETLBTEXT, d.itemID, reinterpret_cast<LPARAM>(text));
    RECT swatch{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    if (c != kTransparent && c != kOtherColour) {
      framework::Owned<HBRUSH, framework::GdiObjectDeleter> brush(CreateSolidBrush(c & 0xFFFFFF));
      FillRect(dc, &swatch, brush.get());
      FrameRect(dc, &swatch, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
      return;
    }
    framework::SelectScope f(dc, font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextA(dc, text, -1, &swatch, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  }
};

void* __cdecl colorpicker_interface(int number) {
  return standard_interface(number, &create_op<ColorPicker>, {kWantsKey});
}

constexpr uint16_t kTypes[] = {kPropColourOrClear, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 10);

}  // namespace

const CoreUnitType kColorPickerUnitType{28, kProperties.data(), kProperties.size(), &colorpicker_interface};

}  // namespace units
