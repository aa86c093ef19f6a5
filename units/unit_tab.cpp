// Tab unit: a window of its own class holding the system tab control; the units in its child
// list are grouped in pages (0 separates them) and only the selected page's units are shown.
// Event 1 comes before the user changes page (argument: the current page; a result of false
// keeps it), event 0 after (argument: the new page), once the new page's units are shown.
#include <windows.h>
#include <commctrl.h>
#include "runtime/notify.h"
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/list_items.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kPlacement = 0, kMultiLine = 1, kFont = 2, kCaptions = 3, kCurrent = 4, kButtons = 5,
  kHotTrack = 6, kBackColour = 7
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 3}, {Kind::kBool}, {Kind::kFont}, {Kind::kBytes}, {Kind::kInt, 0},
    {Kind::kBool}, {Kind::kBool}, {Kind::kColour, int32_t(kDefaultColour)},
};

constexpr char kClass[] = "OrvelTab";
constexpr int32_t kShowTabPages = 2039;  // runtime notification: show the selected page's units
constexpr UINT kWindowUp = 0x8076;       // the loader: the window is up, its units shown

// The system tab control inside the unit's window; a background colour other than the default
// fills its page area after the control painted.
class TabStrip : public framework::ControlWindow {
 public:
  uint32_t back = kDefaultColour;

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    LRESULT r = pass(msg, wp, lp);
    if (msg == WM_PAINT && back != kDefaultColour) {
      RECT rc;
      GetClientRect(handle(), &rc);
      SendMessageA(handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
      framework::ClientDC dc(handle());
      SetBkColor(dc.get(), back & 0xFFFFFF);
      ExtTextOutA(dc.get(), 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    }
    return r;
  }
};

class Tab : public StoredUnit {
 public:
  Tab() : StoredUnit(kFields, std::size(kFields), 1) { use_colours(-1, kBackColour, COLOR_BTNFACE); }
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_TAB_CLASSES);
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr,
                                      CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
    if (!create(kClass, "", (base_style(a) & ~WS_TABSTOP) | WS_CLIPCHILDREN, 0, a.left, a.top,
                a.width, a.height, a.parent,
                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id))))
      return false;
    return build_strip(num(kCurrent));
  }
  void convert_items(TextRoutine routine, void* user) override {
    std::vector<std::string> captions = decode_items(str(kCaptions));
    for (std::string& s : captions) convert_one(routine, user, s, false);
    set_str(kCaptions, encode_items(captions));
    if (handle()) apply(kCaptions);  // the control shows the converted items
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kPlacement: case kMultiLine: case kButtons: case kHotTrack: {
        // Only the tab control is made anew: the page units inside the unit's window stay.
        int32_t keep = current();
        DestroyWindow(strip_.handle());
        build_strip(keep);
        return 0;
      }
      case kFont: SendMessageA(strip_.handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE); return 0;
      case kCaptions: {
        int32_t keep = current();
        fill();
        SendMessageA(strip_.handle(), TCM_SETCURSEL, keep, 0);
        show_pages();
        return 0;
      }
      case kCurrent:
        SendMessageA(strip_.handle(), TCM_SETCURSEL, num(kCurrent), 0);
        show_pages();
        return 0;
      case kBackColour:
        strip_.back = uint32_t(num(kBackColour));
        InvalidateRect(strip_.handle(), nullptr, TRUE);
        return 0;
      default: return 0;
    }
  }
  void refresh(int index) override {
    if (index == kCurrent && strip_.handle()) set_num(kCurrent, current());
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    // Tab control messages sent to the unit (the framework asks for the selected page) go to
    // the control inside.
    if (msg >= TCM_FIRST && msg < TCM_FIRST + 0x100 && strip_.handle())
      return SendMessageA(strip_.handle(), msg, wp, lp);
    switch (msg) {
      case kWindowUp:
        // The loader shows the first page's units; a tab that starts on another page shows
        // that page's instead.
        if (current() != 0) show_pages();
        break;
      case WM_SIZE:
        if (strip_.handle())
          SetWindowPos(strip_.handle(), nullptr, 0, 0, LOWORD(lp), HIWORD(lp), SWP_NOZORDER | SWP_NOACTIVATE);
        break;
      case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(handle(), &rc);
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, colour(kBackColour, COLOR_BTNFACE));
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
        return 1;
      }
      case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->hwndFrom != strip_.handle()) break;
        if (hdr->code == TCN_SELCHANGING) {
          EventRecord r = raise(1, {static_cast<uint32_t>(current())});
          return r.has_result && r.result == 0;  // TRUE keeps the current page
        }
        if (hdr->code == TCN_SELCHANGE) {
          show_pages();
          raise(0, {static_cast<uint32_t>(current())});
          return 0;
        }
        break;
      }
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  // The system tab control with the styles of the properties, under the page units.
  bool build_strip(int32_t page) {
    static const DWORD placement[] = {0, TCS_BOTTOM, TCS_VERTICAL, TCS_VERTICAL | TCS_RIGHT};
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | placement[num(kPlacement)];
    if (flag(kMultiLine) || num(kPlacement) >= 2) style |= TCS_MULTILINE;  // side tabs need it
    if (flag(kButtons)) style |= TCS_BUTTONS;
    if (flag(kHotTrack)) style |= TCS_HOTTRACK;
    RECT rc;
    GetClientRect(handle(), &rc);
    if (!strip_.create_control(WC_TABCONTROLA, "", style, 0, 0, 0, rc.right, rc.bottom, handle(), 1))
      return false;
    SetWindowPos(strip_.handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    strip_.back = uint32_t(num(kBackColour));
    SendMessageA(strip_.handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font()), TRUE);
    fill();
    SendMessageA(strip_.handle(), TCM_SETCURSEL, page, 0);
    return true;
  }
  int32_t current() const {
    LRESULT at = SendMessageA(strip_.handle(), TCM_GETCURSEL, 0, 0);
    return at < 0 ? 0 : static_cast<int32_t>(at);
  }
  void fill() {
    SendMessageA(strip_.handle(), TCM_DELETEALLITEMS, 0, 0);
    std::vector<std::string> captions = decode_items(str(kCaptions));
    for (size_t i = 0; i < captions.size(); ++i) {
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<char*>(captions[i].c_str());
      SendMessageA(strip_.handle(), TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  void show_pages() { runtime::notify(kShowTabPages, window_id(), unit_id()); }

  TabStrip strip_;
};

void* __cdecl tab_interface(int number) { return table_interface<Tab>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBool, kPropFont, kPropCustom, kPropInt,
                               kPropBool, kPropBool, kPropBackColour};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 16);

}  // namespace

const CoreUnitType kTabUnitType{21, kProperties.data(), kProperties.size(), &tab_interface};

}  // namespace units
