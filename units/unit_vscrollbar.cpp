// Vertical scroll bar unit: the scroll bar of scroll_bar.h laid vertically.
#include "units/scroll_bar.h"

namespace units {

namespace {

class VScrollBar : public ScrollBarUnit {
 public:
  VScrollBar() : ScrollBarUnit(true) {}
};

void* __cdecl vscrollbar_interface(int number) { return table_interface<VScrollBar>(number, false); }

constexpr auto kProperties = with_common(ScrollBarUnit::kTypes);
static_assert(kProperties.size() == 14);

}  // namespace

const CoreUnitType kVScrollBarUnitType{18, kProperties.data(), kProperties.size(), &vscrollbar_interface};

}  // namespace units
