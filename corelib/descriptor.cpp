// The core library's descriptor, its data type table with the window entry, and GetNewInf.
#include "corelib/descriptor.h"
#include "corelib/routine_table.h"

namespace corelib {

namespace {

constexpr uint16_t kCommon = 0xE000, kOwn = 0x8000;
enum : uint16_t {
  kInteger = units::kPropInt, kLogical = units::kPropBool, kText = units::kPropText,
  kPick = units::kPropPick, kPicture = units::kPropPicture, kIcon = units::kPropIcon,
  kCursor = units::kPropCursor, kSound = units::kPropSound, kFileName = units::kPropFileName,
  kBackColour = units::kPropBackColour,
};

// The window's 32 properties: the 8 common ones, then its own from number 8.
constexpr PropertyDescriptor window_property(uint16_t type, uint16_t flags) {
  return {"", "", "", type, flags, nullptr};
}
const PropertyDescriptor kWindowProperties[32] = {
    window_property(kInteger, kCommon),    // 0 left
    window_property(kInteger, kCommon),    // 1 top
    window_property(kInteger, kCommon),    // 2 width
    window_property(kInteger, kCommon),    // 3 height
    window_property(kText, kCommon),       // 4 tag
    window_property(kLogical, kCommon),    // 5 visible
    window_property(kLogical, kCommon),    // 6 disabled
    window_property(kCursor, kCommon),     // 7 cursor
    window_property(kText, kOwn),          // 8 title
    window_property(kPick, kOwn),          // 9 border
    window_property(kBackColour, kOwn),    // 10 background colour
    window_property(kPicture, kOwn),       // 11 background picture
    window_property(kPick, kOwn),          // 12 picture mode
    window_property(kSound, kOwn),         // 13 background music
    window_property(kPick, kOwn),          // 14 music mode
    window_property(kLogical, kOwn),       // 15 control box
    window_property(kLogical, kOwn),       // 16 maximise box
    window_property(kLogical, kOwn),       // 17 minimise box
    window_property(kPick, kOwn),          // 18 state
    window_property(kLogical, kOwn),       // 19 close button
    window_property(kIcon, kOwn),          // 20 icon
    window_property(kLogical, kOwn),       // 21 Enter moves focus
    window_property(kLogical, kOwn),       // 22 Escape closes
    window_property(kLogical, kOwn),       // 23 F1 opens help
    window_property(kFileName, kOwn),      // 24 help file
    window_property(kInteger, kOwn),       // 25 help context
    window_property(kLogical, kOwn),       // 26 own taskbar entry
    window_property(kLogical, kOwn),       // 27 drag to move
    window_property(kPick, kOwn),          // 28 shape
    window_property(kLogical, kOwn),       // 29 always on top
    window_property(kLogical, kOwn),       // 30 setting
    window_property(kText, kOwn),          // 31 window class
};

// Entry 1 is complete here; the unit framework fills the interface function of the window
// and entries 2..51 at start-up.
UnitTypeEntry g_types[kCoreTypeCount] = {
    {"窗口", "window", "", 0, nullptr, 0x800000D0, 0, 0, nullptr, 32, kWindowProperties,
     nullptr, 0, nullptr},
};

void* __cdecl no_add_in(void*) { return nullptr; }

LibDescriptor g_core = {
    kDescriptorFormat, kCoreSignature, 5, 0, 64, 3, 7, 3, 7, "系统核心支持库", 1, "",
    0xC0000009, "", "", "", "", "", "", "", "",
    kCoreTypeCount, g_types, 0, nullptr, 0, nullptr,
    const_cast<runtime::CommandRoutine*>(routine_table()), no_add_in, nullptr,
    library_notify, nullptr, nullptr, 0, nullptr, nullptr,
};

}  // namespace

LibDescriptor& core_descriptor() { return g_core; }
UnitTypeEntry* core_types() { return g_types; }

LibDescriptor* __stdcall get_new_inf() { return &g_core; }

}  // namespace corelib
