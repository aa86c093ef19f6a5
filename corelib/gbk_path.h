// Splitting GBK paths at a separator. A double-byte character's trail byte may be 0x5C, the
// code of "\", so separators are found by walking characters, never by searching bytes.
#pragma once
#include <cstdint>
#include <string_view>

namespace corelib {

// Byte position of the last "\" (and, when `slash_too`, "/") that is a character of its own,
// or npos.
inline size_t last_separator(std::string_view path, bool slash_too) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    auto c = static_cast<uint8_t>(path[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      ++i;  // the trail byte is part of this character
    } else if (c == '\\' || (slash_too && c == '/')) {
      found = i;
    }
  }
  return found;
}

}  // namespace corelib
