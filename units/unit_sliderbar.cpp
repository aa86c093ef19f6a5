// Slider bar unit: the system trackbar with a range, a position, line and page steps, tick
// marks and a shown selection range. Event 0 reports each position the user moves it to,
// by mouse or keyboard (argument: the position).
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
  kBorder = 0, kOrientation = 1, kTicks = 2, kTickFrequency = 3, kShowSelection = 4,
  kMinimum = 5, kMaximum = 6, kPosition = 7, kLineStep = 8, kPageStep = 9, kSelStart = 10,
  kSelEnd = 11
};

constexpr int32_t kLimit = 0x3FFFFFFF;  // the range's ends stay within +-kLimit
constexpr int32_t kMaxTicks = 1000;

constexpr Field kFields[] = {
    {Kind::kPick, 0, 5}, {Kind::kPick, 0, 1}, {Kind::kPick, 0, 3}, {Kind::kInt, 1},
    {Kind::kBool}, {Kind::kInt, 0}, {Kind::kInt, 10}, {Kind::kInt, 0}, {Kind::kInt, 1},
    {Kind::kInt, 2}, {Kind::kInt, 0}, {Kind::kInt, 0},
};

class SliderBar : public StoredUnit {
 public:
  SliderBar() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_BAR_CLASSES);
    static const DWORD ticks[] = {TBS_BOTTOM, TBS_TOP, TBS_BOTH, TBS_NOTICKS};  // = right, left
    DWORD style = base_style(a) | TBS_AUTOTICKS | ticks[num(kTicks)], ex = 0;
    if (num(kOrientation) == 1) style |= TBS_VERT;
    if (flag(kShowSelection)) style |= TBS_ENABLESELRANGE;
    border_styles(num(kBorder), style, ex);
    if (!create_control(TRACKBAR_CLASSA, "", style, ex, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    apply_all();
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM, LRESULT& result) override {
    if (msg != WM_HSCROLL && msg != WM_VSCROLL) return false;
    int32_t pos = static_cast<int32_t>(SendMessageA(handle(), TBM_GETPOS, 0, 0));
    result = 0;
    if (pos == num(kPosition)) return true;
    set_num(kPosition, pos);
    raise(0, {static_cast<uint32_t>(pos)});
    return true;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kBorder: apply_border(handle(), num(kBorder)); return 0;
      case kOrientation: case kTicks: case kShowSelection: return 1;
      default: apply_all(); return 0;
    }
  }
  void refresh(int index) override {
    if (index == kPosition && handle())
      set_num(kPosition, static_cast<int32_t>(SendMessageA(handle(), TBM_GETPOS, 0, 0)));
  }

 private:
  // The range is the minimum and maximum taken in either order, within +-kLimit; the
  // position stays in it. Tick marks are drawn at most kMaxTicks times: a wide range with a
  // small frequency would have the control lay out one mark per value.
  void apply_all() {
    auto limit = [](int32_t v) { return std::clamp(v, -kLimit, kLimit); };
    set_num(kMinimum, limit(num(kMinimum)));
    set_num(kMaximum, limit(num(kMaximum)));
    int32_t lo = std::min(num(kMinimum), num(kMaximum)), hi = std::max(num(kMinimum), num(kMaximum));
    set_num(kPosition, std::clamp(num(kPosition), lo, hi));
    SendMessageA(handle(), TBM_SETTICFREQ, kLimit, 0);  // no marks while the range changes
    SendMessageA(handle(), TBM_SETRANGEMIN, FALSE, lo);
    SendMessageA(handle(), TBM_SETRANGEMAX, FALSE, hi);
    SendMessageA(handle(), TBM_SETPOS, TRUE, num(kPosition));
    SendMessageA(handle(), TBM_SETLINESIZE, 0, std::max(1, num(kLineStep)));
    SendMessageA(handle(), TBM_SETPAGESIZE, 0, std::max(1, num(kPageStep)));
    int32_t spacing = std::max<int32_t>(std::max(1, num(kTickFrequency)), (hi - lo) / kMaxTicks + 1);
    SendMessageA(handle(), TBM_SETTICFREQ, spacing, 0);
    if (flag(kShowSelection)) {
      SendMessageA(handle(), TBM_SETSELSTART, FALSE, std::min(num(kSelStart), num(kSelEnd)));
      SendMessageA(handle(), TBM_SETSELEND, TRUE, std::max(num(kSelStart), num(kSelEnd)));
    }
    InvalidateRect(handle(), nullptr, TRUE);
  }
};

void* __cdecl sliderbar_interface(int number) { return table_interface<SliderBar>(number, false); }

constexpr uint16_t kTypes[] = {kPropPick, kPropPick, kPropPick, kPropInt, kPropBool, kPropInt,
                               kPropInt, kPropInt, kPropInt, kPropInt, kPropInt, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 20);

}  // namespace

const CoreUnitType kSliderBarUnitType{20, kProperties.data(), kProperties.size(), &sliderbar_interface};

}  // namespace units
