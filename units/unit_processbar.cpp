// Progress bar unit: the system progress bar with a 32-bit range, laid horizontally or
// vertically, in blocks or smooth. Only programs move it; event 0 reports a written position
// that changed what it shows (argument: the position, clamped into the range).
#include <algorithm>
#include <windows.h>
#include <commctrl.h>
#include "units/border_styles.h"
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBorder = 0, kOrientation = 1, kSmooth = 2, kMinimum = 3, kMaximum = 4, kPosition = 5
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 5}, {Kind::kPick, 0, 1}, {Kind::kPick, 0, 1}, {Kind::kInt, 0},
    {Kind::kInt, 100}, {Kind::kInt, 0},
};

class ProcessBar : public StoredUnit {
 public:
  ProcessBar() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_PROGRESS_CLASS);
    DWORD style = base_style(a) & ~WS_TABSTOP, ex = 0;
    if (num(kOrientation) == 1) style |= PBS_VERTICAL;
    if (num(kSmooth) == 1) style |= PBS_SMOOTH;
    border_styles(num(kBorder), style, ex);
    if (!create_control(PROGRESS_CLASSA, "", style, ex, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    apply_range();
    return true;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kBorder: apply_border(handle(), num(kBorder)); return 0;
      case kOrientation: case kSmooth: return 1;
      default: {
        int32_t before = static_cast<int32_t>(SendMessageA(handle(), PBM_GETPOS, 0, 0));
        apply_range();
        if (index == kPosition && num(kPosition) != before)
          raise(0, {static_cast<uint32_t>(num(kPosition))});
        return 0;
      }
    }
  }

 private:
  // The range is the minimum and maximum taken in either order; the position stays in it.
  void apply_range() {
    int32_t lo = std::min(num(kMinimum), num(kMaximum)), hi = std::max(num(kMinimum), num(kMaximum));
    set_num(kPosition, std::clamp(num(kPosition), lo, hi));
    SendMessageA(handle(), PBM_SETRANGE32, lo, hi);
    SendMessageA(handle(), PBM_SETPOS, num(kPosition), 0);
  }
};

void* __cdecl processbar_interface(int number) { return table_interface<ProcessBar>(number, false); }

constexpr uint16_t kTypes[] = {kPropPick, kPropPick, kPropPick, kPropInt, kPropInt, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 14);

}  // namespace

const CoreUnitType kProcessBarUnitType{19, kProperties.data(), kProperties.size(), &processbar_interface};

}  // namespace units
