// Unit types: the unit type entry of a library descriptor, property descriptors, the
// interface operations every unit type offers and the event records units raise.
// These are binary interfaces shared with support library files.
//
// Unit type entry, 56 bytes:
//   OFFSET SIZE DESCRIPTION
//     0x00    4 name (GBK text)
//     0x04    4 English name
//     0x08    4 description (empty)
//     0x0C    4 member command count (0)
//     0x10    4 member command list (null)
//     0x14    4 type flags (TypeFlag)
//     0x18    4 icon resource number
//     0x1C    4 event count (0)
//     0x20    4 event list (null)
//     0x24    4 property count
//     0x28    4 property table (PropertyDescriptor[count])
//     0x2C    4 interface function (InterfaceFunction) or null
//     0x30    4 element count (non-unit types)
//     0x34    4 element list
//
// Interface operations (all __cdecl, like the interface function itself, so the caller
// removes the arguments; a unit object is a framework window object of the runtime: core
// units are, other libraries wrap their window with runtime notification 1007):
//   1 create      (data, length, style, parent HWND, control id, menu, left, top, width,
//                  height, window id, unit id, 0, 0) -> unit object or null
//   4 set         (unit, property - 8, PropData*, 0) -> 1: create the unit anew to show it
//   5 get all     (unit, uint32_t* length) -> type-specific data in template form, a runtime
//                  heap block the caller frees
//   6 get         (unit, property - 8, PropData* out) -> non-zero on success; out points
//                  into storage of the unit that stays valid until its next call
//   7 get icon    (data, length) -> HGLOBAL with the icon file, or null
//   8 wants key   (unit, MSG*) -> 1: the unit takes the key itself
//   9 texts       (unit, TextRoutine, user data, uint32_t* length) -> type-specific data
//                  rewritten with the routine's substitutes (heap block the caller frees)
//  10 on Enter    (unit) -> non-zero: Enter clicks it
//  11 filter      (unit, MSG*) -> non-zero consumes the message
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace units {

enum TypeFlag : uint32_t {
  kHiddenType = 0x1,
  kMenuType = 0x4,
  kWindowTypeFlag = 0x10,
  kMessageFilter = 0x20,
  kWindowUnit = 0x40,
  kContainer = 0x80,
  kTabContainer = 0x100,
  kOwnsChildren = 0x200,
  kRadioBehaviour = 0x400,
  kPushBehaviour = 0x800,
  kCheckBehaviour = 0x1000,
  kLabelBehaviour = 0x2000,
  kGroupBehaviour = 0x4000,
  kFunctionUnit = 0x8000,
  kNoFocus = 0x10000,
  kDataSource = 0x80000,
  kBarUnit = 0x100000,
  kHostsControl = 0x200000,
  kKeepsIdentifiers = 0x2000000,
  kStaticUnit = 0x4000000,
  kRunsOnWindows = 0x80000000,
};

// Property types: how a value crosses the read and write operations.
enum PropertyType : uint16_t {
  kPropInt = 1000, kPropInt2 = 1001, kPropDouble = 1002, kPropBool = 1003,
  kPropDateTime = 1004, kPropText = 1005, kPropPick = 1006, kPropPickText = 1007,
  kPropEditPickText = 1008, kPropPicture = 1009, kPropIcon = 1010, kPropCursor = 1011,
  kPropSound = 1012, kPropFont = 1013, kPropColour = 1014, kPropColourOrClear = 1015,
  kPropFileName = 1016, kPropBackColour = 1017, kPropText18 = 1018, kPropText19 = 1019,
  kPropText20 = 1020, kPropText21 = 1021, kPropText22 = 1022, kPropImageList = 1023,
  kPropCustom = 1024,
};

#pragma pack(push, 1)
struct PropertyDescriptor {
  const char* name;         // empty in the run-time library
  const char* english;
  const char* description;
  uint16_t type;            // PropertyType
  uint16_t flags;           // 0xE000 on the common properties, 0x8000 on the others
  const char* picks;        // NUL-separated texts ending with an empty text, or null
};
static_assert(sizeof(PropertyDescriptor) == 20);
static_assert(offsetof(PropertyDescriptor, type) == 12);

using InterfaceFunction = void*(__cdecl*)(int number);

struct UnitTypeEntry {
  const char* name;
  const char* english;
  const char* description;
  uint32_t member_count;
  const void* members;
  uint32_t flags;           // TypeFlag bits
  uint32_t icon;            // icon resource number
  uint32_t event_count;
  const void* events;
  uint32_t property_count;
  const PropertyDescriptor* properties;
  InterfaceFunction iface;  // null for non-unit types
  uint32_t element_count;
  const void* elements;
};
static_assert(sizeof(UnitTypeEntry) == 56);
static_assert(offsetof(UnitTypeEntry, flags) == 0x14);
static_assert(offsetof(UnitTypeEntry, properties) == 0x28);
static_assert(offsetof(UnitTypeEntry, iface) == 0x2C);

// A property value as a unit sees it: a data word and a length. Integers, logicals, pick
// indexes and colours: the value in `word`, length 4. Doubles and date-times: the low half in
// `word`, the high half in `length`. Texts: pointer and byte count (no terminator counted,
// but the text is NUL-terminated). Byte data (pictures, icons, fonts, ...): pointer to the
// bytes and their count; length 0 = no data.
struct PropData {
  uint32_t word;
  uint32_t length;
};
static_assert(sizeof(PropData) == 8);

// Event record, plain form (runtime notification 2008).
struct EventRecord {
  uint32_t window_id;
  uint32_t unit_id;       // 0: the window itself
  int32_t event;          // negative: common events
  uint32_t argc;          // 0..5
  uint32_t args[5];
  uint32_t has_result;    // set by the runtime when the handler returned a value
  uint32_t result;
};
static_assert(sizeof(EventRecord) == 44);

// Event record, typed form (runtime notification 2031).
struct TypedArg {
  uint32_t lo, hi;        // the value
  uint32_t type;          // data type code
  uint32_t flags;         // bit 0: pass the first word only; bit 1: pass both words
};
static_assert(sizeof(TypedArg) == 16);

struct TypedEventRecord {
  uint32_t window_id;
  uint32_t unit_id;
  int32_t event;
  uint32_t argc;          // 0..12
  TypedArg args[12];
  uint32_t has_result;
  uint32_t result_lo, result_hi;
};
static_assert(sizeof(TypedEventRecord) == 16 + 12 * 16 + 12);
#pragma pack(pop)

enum Interface : int {
  kCreate = 1, kSetProperty = 4, kGetAllData = 5, kGetProperty = 6, kGetIcon = 7,
  kWantsKey = 8, kConvertTexts = 9, kActsOnEnter = 10, kFilterMessage = 11,
};

using CreateOp = void*(__cdecl*)(const uint8_t* data, uint32_t length, uint32_t style,
                                   HWND parent, uint32_t control_id, HMENU menu, int left,
                                   int top, int width, int height, uint32_t window_id,
                                   uint32_t unit_id, uint32_t, uint32_t);
using SetOp = int(__cdecl*)(void* unit, int index, PropData* value, int);
using GetAllOp = void*(__cdecl*)(void* unit, uint32_t* length);
using GetOp = int(__cdecl*)(void* unit, int index, PropData* out);
using GetIconOp = HGLOBAL(__cdecl*)(const uint8_t* data, uint32_t length);
using WantsKeyOp = int(__cdecl*)(void* unit, MSG* msg);
// Called once per text of a unit: the text, a 256-byte buffer for a substitute (left empty
// to keep the text), non-zero when the text is a font's face name, and the user data.
using TextRoutine = void(__cdecl*)(const char* text, char* buffer, int is_font_name,
                                     void* user);
using TextsOp = void*(__cdecl*)(void* unit, TextRoutine routine, void* user,
                                  uint32_t* length);
using OnEnterOp = int(__cdecl*)(void* unit);
using FilterOp = int(__cdecl*)(void* unit, MSG* msg);

// Data type code of a core library type (library number 1 in codes).
constexpr uint32_t core_type(uint32_t number) { return 0x10000 | number; }
inline constexpr uint32_t kWindowType = 0x10001, kMenuTypeCode = 0x10003,
                          kEditBoxType = 0x10005, kLabelType = 0x1000A,
                          kButtonType = 0x1000B, kCheckBoxType = 0x1000C,
                          kTimerType = 0x10020, kPlaceholderType = 0x10033;
inline constexpr int kCoreTypeCount = 51;

}  // namespace units
