// Horizontal scroll bar unit: the scroll bar of scroll_bar.h laid horizontally.
#include "units/scroll_bar.h"

namespace units {

namespace {

class HScrollBar : public ScrollBarUnit {
 public:
  HScrollBar() : ScrollBarUnit(false) {}
};

void* __cdecl hscrollbar_interface(int number) { return table_interface<HScrollBar>(number, false); }

constexpr auto kProperties = with_common(ScrollBarUnit::kTypes);
static_assert(kProperties.size() == 14);

}  // namespace

const CoreUnitType kHScrollBarUnitType{17, kProperties.data(), kProperties.size(), &hscrollbar_interface};

}  // namespace units
