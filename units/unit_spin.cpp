// Spin unit: the system up-down control on its own, a pair of arrows laid vertically or
// horizontally. It holds no value: event 0 reports each press (argument: 1 for up or right,
// -1 for down or left), repeated while an arrow is held down.
#include <windows.h>
#include <commctrl.h>
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kOrientation = 0, kHotTrack = 1 };

constexpr Field kFields[] = {{Kind::kPick, 0, 1}, {Kind::kBool}};

class Spin : public StoredUnit {
 public:
  Spin() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_UPDOWN_CLASS);
    DWORD style = base_style(a) & ~WS_TABSTOP;
    if (num(kOrientation) == 1) style |= UDS_HORZ;
    if (flag(kHotTrack)) style |= UDS_HOTTRACK;
    if (!create_control(UPDOWN_CLASSA, "", style, 0, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    // The control's position never moves (each change is refused), so it never meets an end.
    SendMessageA(handle(), UDM_SETRANGE32, -1000, 1000);
    SendMessageA(handle(), UDM_SETPOS32, 0, 0);
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg != WM_NOTIFY || reinterpret_cast<NMHDR*>(lp)->code != UDN_DELTAPOS) return false;
    auto* nm = reinterpret_cast<NMUPDOWN*>(lp);
    if (nm->iDelta != 0) raise(0, {static_cast<uint32_t>(nm->iDelta > 0 ? 1 : -1)});
    result = TRUE;
    return true;
  }

 protected:
  int apply(int) override { return 1; }  // both properties are window styles
};

void* __cdecl spin_interface(int number) { return table_interface<Spin>(number, false); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 10);

}  // namespace

const CoreUnitType kSpinUnitType{30, kProperties.data(), kProperties.size(), &spin_interface};

}  // namespace units
