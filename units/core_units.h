// The core library's own unit types: their property tables and interface functions, and
// the helpers that build a property table with the eight common properties in front.
#pragma once
#include <array>
#include <cstddef>
#include "abi/unit_type.h"

namespace units {

constexpr PropertyDescriptor property(uint16_t type, uint16_t flags = 0x8000) {
  return {"", "", "", type, flags, nullptr};
}

// Left, top, width, height, tag, visible, disabled, cursor.
inline constexpr uint16_t kCommonTypes[8] = {kPropInt, kPropInt, kPropInt, kPropInt,
                                             kPropText, kPropBool, kPropBool, kPropCursor};

template <size_t N>
constexpr std::array<PropertyDescriptor, N + 8> with_common(const uint16_t (&types)[N]) {
  std::array<PropertyDescriptor, N + 8> t{};
  for (size_t i = 0; i < 8; ++i) t[i] = property(kCommonTypes[i], 0xE000);
  for (size_t i = 0; i < N; ++i) t[i + 8] = property(types[i]);
  return t;
}

struct CoreUnitType {
  uint32_t number;                         // type number in the core library
  const PropertyDescriptor* properties;
  uint32_t property_count;
  InterfaceFunction iface;
};

// Puts a unit type's property table and interface function into the core data type table.
// Every subsystem that implements core unit types registers them from its install function.
void register_unit_type(const CoreUnitType& type);

// The unit types built here (window, edit box, label, button, check box, timer, placeholder).
extern const CoreUnitType kWindowUnitType, kEditBoxUnitType, kLabelUnitType,
    kButtonUnitType, kCheckBoxUnitType, kTimerUnitType, kPlaceholderUnitType;
// The list, choice, bar, picker and file-system unit types.
extern const CoreUnitType kGroupBoxUnitType, kRadioBoxUnitType, kComboBoxUnitType,
    kListBoxUnitType, kChkListBoxUnitType, kHScrollBarUnitType, kVScrollBarUnitType,
    kProcessBarUnitType, kSliderBarUnitType, kTabUnitType, kDatePickerUnitType,
    kMonthCalendarUnitType, kDriverBoxUnitType, kDirBoxUnitType, kFileBoxUnitType,
    kColorPickerUnitType, kHyperLinkerUnitType, kSpinUnitType;

}  // namespace units
