// Hyperlink box unit: a window of its own class that paints its caption as a link (hand
// cursor, link, hover and visited colours, underline) and opens its address through the
// shell when clicked. Event 0 comes first; a result of false keeps the address closed.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kCaption = 0, kAlign = 1, kAddress = 2, kTip = 3, kLinkColour = 4, kHoverColour = 5,
  kVisitedColour = 6, kBackColour = 7, kUnderline = 8, kFont = 9
};

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kPick, 0, 2}, {Kind::kText}, {Kind::kText}, {Kind::kColour, 0xFF0000},
    {Kind::kColour, 0x0000FF}, {Kind::kColour, 0x800080}, {Kind::kColour, int32_t(kDefaultColour)},
    {Kind::kPick, 0, 2}, {Kind::kFont},
};

constexpr char kClass[] = "OrvelHyperLinker";

class HyperLinker : public StoredUnit {
 public:
  HyperLinker() : StoredUnit(kFields, std::size(kFields), 1) { use_colours(-1, kBackColour, COLOR_BTNFACE); }
  bool create_window(const CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_HAND), nullptr,
                                      CS_HREDRAW | CS_VREDRAW);
    if (!create(kClass, str(kCaption).c_str(), base_style(a) & ~WS_TABSTOP, 0, a.left, a.top,
                a.width, a.height, a.parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id))))
      return false;
    apply_tip();
    return true;
  }

 protected:
  int apply(int index) override {
    if (index == kCaption) SetWindowTextA(handle(), str(kCaption).c_str());
    if (index == kTip) apply_tip();
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_DESTROY:
        if (tip_) DestroyWindow(tip_);
        tip_ = nullptr;
        break;
      case WM_PAINT: paint(); return 0;
      case WM_MOUSEMOVE:
        if (!hover_) {
          hover_ = true;
          TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, handle(), 0};
          TrackMouseEvent(&t);
          InvalidateRect(handle(), nullptr, FALSE);
        }
        break;
      case WM_MOUSELEAVE:
        hover_ = false;
        InvalidateRect(handle(), nullptr, FALSE);
        break;
      case WM_LBUTTONUP: {
        RECT r;
        GetClientRect(handle(), &r);
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (PtInRect(&r, p)) open();
        break;
      }
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  // Event 0, then the address (the caption when there is none) through the shell.
  void open() {
    HWND self = handle();
    EventRecord r = raise(0);
    if (!IsWindow(self) || (r.has_result && r.result == 0)) return;
    const std::string& target = str(kAddress).empty() ? str(kCaption) : str(kAddress);
    if (target.empty()) return;
    ShellExecuteA(GetAncestor(self, GA_ROOT), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    visited_ = true;
    InvalidateRect(self, nullptr, FALSE);
  }
  void paint() {
    framework::PaintDC pdc(handle());
    HDC dc = pdc.get();
    RECT r;
    GetClientRect(handle(), &r);
    SetBkColor(dc, colour(kBackColour, COLOR_BTNFACE));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    bool underline = num(kUnderline) == 0 || (num(kUnderline) == 1 && hover_);
    LOGFONTA lf{};
    GetObjectA(font(), sizeof lf, &lf);
    lf.lfUnderline = underline;
    framework::Font shown(CreateFontIndirectA(&lf));
    framework::SelectScope f(dc, shown ? shown.get() : font());
    uint32_t c = uint32_t(num(hover_ ? kHoverColour : visited_ ? kVisitedColour : kLinkColour));
    SetTextColor(dc, c == kDefaultColour ? GetSysColor(COLOR_HOTLIGHT) : (c & 0xFFFFFF));
    SetBkMode(dc, TRANSPARENT);
    static const UINT align[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
    DrawTextA(dc, str(kCaption).c_str(), -1, &r,
              align[num(kAlign)] | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  // The tip shown while the mouse rests on the link (none for an empty tip text).
  void apply_tip() {
    if (tip_) {
      DestroyWindow(tip_);
      tip_ = nullptr;
    }
    if (str(kTip).empty()) return;
    init_common_controls(ICC_WIN95_CLASSES);
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle(),
                           nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!tip_) return;
    TTTOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = handle();
    info.uId = reinterpret_cast<UINT_PTR>(handle());
    info.lpszText = const_cast<char*>(str(kTip).c_str());
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  }
  bool hover_ = false, visited_ = false;
  HWND tip_ = nullptr;
};

void* __cdecl hyperlinker_interface(int number) { return table_interface<HyperLinker>(number, true); }

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropText, kPropText, kPropColour,
                               kPropColour, kPropColour, kPropBackColour, kPropPick, kPropFont};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 18);

}  // namespace

const CoreUnitType kHyperLinkerUnitType{29, kProperties.data(), kProperties.size(), &hyperlinker_interface};

}  // namespace units
