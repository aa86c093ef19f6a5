// Picture button unit: a button drawn from pictures, one per state (normal, under the mouse,
// pressed, disabled; a missing one falls back to the normal picture). As a push button it
// raises event 0 on each click; as a toggle button each click also flips its checked state.
// It takes no focus.
#include "units/picture_codec.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kKind = 0, kChecked = 1, kNormal = 2, kHot = 3, kPressed = 4, kDisabled = 5, kBackColour = 6
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 1}, {Kind::kBool}, {Kind::kBytes}, {Kind::kBytes}, {Kind::kBytes},
    {Kind::kBytes}, {Kind::kColour, int32_t(kDefaultColour)},
};

constexpr char kClass[] = "OrvelPicBtn";

class PicBtn : public StoredUnit {
 public:
  PicBtn() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    if (!create_private(kClass, a)) return false;
    for (int i = 0; i < 4; ++i) pictures_[i].decode(str(kNormal + i));
    return true;
  }

 protected:
  int apply(int index) override {
    if (index >= kNormal && index <= kDisabled) pictures_[index - kNormal].decode(str(index));
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_PAINT: {
        framework::PaintDC dc(handle());
        paint(dc.get());
        return 0;
      }
      case WM_ENABLE: InvalidateRect(handle(), nullptr, TRUE); break;
      case WM_MOUSEMOVE:
        if (!hot_) {
          hot_ = true;
          TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, handle(), 0};
          TrackMouseEvent(&t);
          InvalidateRect(handle(), nullptr, FALSE);
        }
        break;
      case WM_MOUSELEAVE: hot_ = false; InvalidateRect(handle(), nullptr, FALSE); break;
      case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK:
        pressed_ = true;
        SetCapture(handle());
        InvalidateRect(handle(), nullptr, FALSE);
        break;
      case WM_LBUTTONUP: {
        LRESULT r = StoredUnit::on_message(msg, wp, lp);
        if (!pressed_) return r;
        pressed_ = false;
        ReleaseCapture();
        InvalidateRect(handle(), nullptr, FALSE);
        RECT rc;
        GetClientRect(handle(), &rc);
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        if (PtInRect(&rc, p)) click();
        return r;
      }
      case WM_CAPTURECHANGED: pressed_ = false; InvalidateRect(handle(), nullptr, FALSE); break;
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  void click() {
    if (num(kKind) == 1) set_num(kChecked, flag(kChecked) ? 0 : 1);
    raise(0);
  }
  void paint(HDC dc) {
    RECT rc;
    GetClientRect(handle(), &rc);
    SetBkColor(dc, colour(kBackColour, COLOR_BTNFACE));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    // The picture of the state; a toggle button that is checked looks pressed.
    int state = 0;
    if (!IsWindowEnabled(handle())) state = 3;
    else if (pressed_ || (num(kKind) == 1 && flag(kChecked))) state = 2;
    else if (hot_) state = 1;
    const Picture& p = pictures_[state] ? pictures_[state] : pictures_[0];
    p.place(dc, rc, 3);
    if (!pictures_[0]) {
      // No pictures: a plain raised (or pressed) button face.
      DrawEdge(dc, &rc, state == 2 ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }
  }
  Picture pictures_[4];
  bool hot_ = false, pressed_ = false;
};

void* __cdecl picbtn_interface(int number) { return table_interface<PicBtn>(number, false); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBool, kPropPicture, kPropPicture, kPropPicture,
                               kPropPicture, kPropBackColour};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 15);

}  // namespace

const CoreUnitType kPicBtnUnitType{45, kProperties.data(), kProperties.size(), &picbtn_interface};

}  // namespace units
