// Typed encoders for the type-specific data of the core library's units, so that a
// description names fields instead of writing bytes:
//   fields NAME VALUE [NAME VALUE ...]
// for the last unit entry, after its type is known. VALUE is a number, a "string" (GBK), hex
// "..." (bytes), file "path" (bytes of a file, relative to the description's folder) or, for
// fonts, "face" HEIGHT (a logical-font record: that face, HEIGHT pixels, normal weight, the
// GB2312 character set). Date-time fields take a number with a fraction (45000.25); item
// lists one string with the items separated by "|" ("甲|乙|丙"); integer lists one string of
// comma-separated numbers ("1,0,1"). `version N` writes an older version of the record
// (fields the version lacks are left out). Fields not named keep their defaults.
#pragma once
#include <string>
#include <vector>
#include "bytes.h"

namespace vlink {

struct FieldToken {
  std::string text;  // a string token's GBK bytes, or the word
  bool quoted = false;
};

// The encoded data for a unit of type code `type`; throws Error on an unknown type or field.
Bytes encode_unit_fields(uint32_t type, const std::vector<FieldToken>& tokens,
                         const std::string& description_path);

}  // namespace vlink
