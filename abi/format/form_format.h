// Stored window templates (the `form` section) and the entry block the runtime keeps in memory.
// Shared by the image linker (host) and the runtime (i686): fixed-width fields only. All
// integers are 32-bit little-endian; "text" = u32 length then that many bytes; "string" =
// NUL-terminated bytes.
//
// form section:
//   u32 B, then B bytes: B/8 window identifiers followed by B/8 u32 slots (meaningless in the
//   image; the reader keeps its own records)
//   per window, in list order: WindowHead, name (text), comment (text), u32 entry count n,
//   u32 byte count of the entry block, the entry block
//
// Entry block:
//   n u32 unit identifiers (entry 0 is the window's own unit)
//   n u32 offsets, each counted from the end of this offsets array
//   n entries at those offsets: u32 payload length, then the payload
//
// Unit payload (the window's own unit and ordinary units):
//   UnitHead (24), name (string), comment (string), UnitPlace (32), c child identifiers,
//   u32 cursor data length m, m bytes of cursor data, tag (string), UnitState (16),
//   e Bindings (8 each), 5 reserved u32, then the unit type's own data to the payload's end
//
// Menu item payload (identifier kind 2):
//   UnitHead (24), name (string), comment (string), MenuHead (12), caption (string),
//   u32 handler (code offset, -1 none), then the menu builder's own fields
#pragma once
#include <cstddef>
#include <cstdint>

namespace image::format {

#pragma pack(push, 1)
struct WindowHead {
  uint32_t owner;             // carried, not interpreted
  uint32_t module;            // module identifier, carried
};

struct UnitHead {
  uint32_t type;              // data type code of the unit type; bit 29 survives renumbering
  uint32_t event_source;      // 0, or a unit of the same type whose bindings this one uses
  uint32_t reserved[4];       // zero
};

struct UnitPlace {
  uint32_t live_object;       // zero in the image
  int32_t left, top, width, height;
  uint32_t live_cursor;       // zero in the image
  uint32_t parent;            // containing unit, 0 = the window
  uint32_t child_count;       // c: child identifiers follow (0 separates tab pages)
};

struct UnitState {
  uint32_t reserved;          // zero
  uint32_t flags;             // kUnitVisible | kUnitDisabled | kUnitTabStop
  uint32_t tab_order;         // focus order
  uint32_t binding_count;     // e: bindings follow
};

struct Binding {
  uint32_t event;             // event number (negative: common events)
  uint32_t handler;           // stored: offset into code, -1 none; in memory: address, 0 none
};

struct MenuHead {
  uint32_t live_object;       // zero in the image
  uint32_t reserved;
  uint32_t flags;             // bit 0 hidden, 1 disabled, 2 checked, 3 passed to the builder
};
#pragma pack(pop)
static_assert(sizeof(WindowHead) == 8);
static_assert(sizeof(UnitHead) == 24);
static_assert(offsetof(UnitHead, event_source) == 4);
static_assert(sizeof(UnitPlace) == 32);
static_assert(offsetof(UnitPlace, left) == 4);
static_assert(offsetof(UnitPlace, parent) == 24);
static_assert(offsetof(UnitPlace, child_count) == 28);
static_assert(sizeof(UnitState) == 16);
static_assert(offsetof(UnitState, flags) == 4);
static_assert(offsetof(UnitState, binding_count) == 12);
static_assert(sizeof(Binding) == 8);
static_assert(sizeof(MenuHead) == 12);

inline constexpr uint32_t kUnitTailReserved = 5 * 4;  // after the bindings
inline constexpr uint32_t kNoHandler = 0xFFFFFFFF;    // stored form

enum : uint32_t { kUnitVisible = 1, kUnitDisabled = 2, kUnitTabStop = 4 };

// Identifier parts: serial (bits 0-23), class (24-27), kind (28-31).
constexpr uint32_t id_serial(uint32_t id) { return id & 0xFFFFFF; }
constexpr uint32_t id_class(uint32_t id) { return id >> 24 & 0xF; }
constexpr uint32_t id_kind(uint32_t id) { return id >> 28; }
constexpr bool id_valid(uint32_t id) { return id_serial(id) != 0 && id_class(id) != 0; }
constexpr uint32_t renumbered(uint32_t id, uint32_t serial) { return (id & 0xFF000000) | (serial & 0xFFFFFF); }
inline constexpr uint32_t kClassWindow = 2, kClassOfWindow = 6;
inline constexpr uint32_t kKindOwnUnit = 0, kKindUnit = 1, kKindMenuItem = 2;
constexpr bool is_menu_item(uint32_t id) { return id_class(id) == kClassOfWindow && id_kind(id) == kKindMenuItem; }

// Where the fields of one entry's payload lie (offsets from the payload's first byte), found
// by walking it with bounds checks. Menu items have no place, children, cursor, tag, state
// or tail: their single handler sits at `bindings` with `binding_count` 1.
struct PayloadLayout {
  bool menu_item = false;
  uint32_t name = 0, comment = 0;  // strings
  uint32_t place = 0;              // UnitPlace, or MenuHead for a menu item
  uint32_t children = 0;           // child identifiers
  uint32_t cursor = 0;             // u32 length then the cursor data
  uint32_t tag = 0;                // string (menu item: the caption)
  uint32_t state = 0;              // UnitState
  uint32_t bindings = 0;           // Binding array (menu item: one u32 handler)
  uint32_t binding_count = 0;
  uint32_t own_data = 0;           // type-specific data, up to the payload's end
};

namespace detail {
inline bool read_u32(const uint8_t* p, uint32_t size, uint32_t at, uint32_t* v) {
  if (at > size || size - at < 4) return false;
  *v = uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 3]) << 24;
  return true;
}
inline bool skip_string(const uint8_t* p, uint32_t size, uint32_t* at) {
  for (uint32_t i = *at; i < size; ++i)
    if (p[i] == 0) { *at = i + 1; return true; }
  return false;
}
inline bool skip(uint32_t size, uint32_t* at, uint64_t n) {
  if (n > size - *at) return false;
  *at += static_cast<uint32_t>(n);
  return true;
}
}  // namespace detail

// Walks a payload; false when any field runs past its end.
inline bool layout_payload(const uint8_t* p, uint32_t size, bool menu_item, PayloadLayout* out) {
  using namespace detail;
  PayloadLayout l;
  l.menu_item = menu_item;
  uint32_t at = 0, v = 0;
  if (!skip(size, &at, sizeof(UnitHead))) return false;
  l.name = at;
  if (!skip_string(p, size, &at)) return false;
  l.comment = at;
  if (!skip_string(p, size, &at)) return false;
  l.place = at;
  if (menu_item) {
    if (!skip(size, &at, sizeof(MenuHead))) return false;
    l.tag = at;
    if (!skip_string(p, size, &at)) return false;
    l.bindings = at;
    l.binding_count = 1;
    if (!skip(size, &at, 4)) return false;
    l.own_data = at;
    *out = l;
    return true;
  }
  if (!skip(size, &at, sizeof(UnitPlace))) return false;
  if (!read_u32(p, size, l.place + offsetof(UnitPlace, child_count), &v)) return false;
  l.children = at;
  if (!skip(size, &at, 4ull * v)) return false;
  l.cursor = at;
  if (!read_u32(p, size, at, &v) || !skip(size, &at, 4) || !skip(size, &at, v)) return false;
  l.tag = at;
  if (!skip_string(p, size, &at)) return false;
  l.state = at;
  if (!skip(size, &at, sizeof(UnitState))) return false;
  if (!read_u32(p, size, l.state + offsetof(UnitState, binding_count), &v)) return false;
  l.bindings = at;
  l.binding_count = v;
  if (!skip(size, &at, 8ull * v)) return false;
  if (!skip(size, &at, kUnitTailReserved)) return false;
  l.own_data = at;
  *out = l;
  return true;
}

}  // namespace image::format
