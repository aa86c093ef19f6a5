// Pictures and fonts as automation objects, and the objects behind units: picture objects
// from picture data and back, font objects from the system's font records and back, the
// embedded control of a unit, and the object information call of the add-on module.
#pragma once
#include <cstdint>
#include <string_view>
#include "com/object_value.h"

namespace com {

// The font record of the font data type: seven words.
#pragma pack(push, 1)
struct FontRecord {
  int32_t angle;       // tenths of a degree (font objects have none: 0)
  uint32_t bold;       // weight 700 or more
  uint32_t italic;
  uint32_t strike_out;
  uint32_t underline;
  int32_t points;      // size in points
  const char* face;    // GBK face name text (a block the record's owner frees)
};
#pragma pack(pop)
static_assert(sizeof(FontRecord) == 28);
static_assert(offsetof(FontRecord, face) == 24);
inline constexpr uint32_t kFontType = 0x00010004;

bool picture_from_data(ObjectValue* o, std::string_view data);
// The picture saved as its file data (a byte set into the result).
void picture_data(ObjectValue* o, runtime::ResultRecord* r);
bool font_from_record(ObjectValue* o, const FontRecord* record);
// A new font record block (its face a new text) into the result.
void font_record(ObjectValue* o, runtime::ResultRecord* r);

// The unit type operation that answers the embedded control of a unit whose type hosts one
// (type flag bit 21): (unit object) -> IUnknown* holding a new reference, or null.
inline constexpr int kControlObjectOperation = 12;
bool unit_object(ObjectValue* o, const runtime::ArgRecord& unit, const char* interface_id);

// Shows the object's information through the add-on module's `ShowObjInf`.
void show_object_info(ObjectValue* o);

}  // namespace com
