// File names and field names of the database engine.
#include "database/names.h"
#include <cstdint>
#include "database/format.h"

namespace database {

namespace {

bool lead_byte(uint8_t c) { return c >= 0x81 && c <= 0xFE; }

// Position of the extension's "." after the last "\", or npos; multi-byte aware.
size_t extension_dot(const std::string& p) {
  size_t dot = std::string::npos;
  for (size_t i = 0; i < p.size(); ++i) {
    uint8_t c = static_cast<uint8_t>(p[i]);
    if (lead_byte(c) && i + 1 < p.size()) {
      ++i;
      continue;
    }
    if (c == '\\') dot = std::string::npos;
    else if (c == '.') dot = i;
  }
  return dot;
}

bool full_width_digit(uint8_t lead, uint8_t trail) { return lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9; }

bool accepted_pair(uint8_t lead, uint8_t trail) {
  if (full_width_digit(lead, trail)) return true;
  if (lead == 0xA3 && ((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA))) return true;
  if ((lead >= 0x81 && lead <= 0xA0) || lead >= 0xAA) return true;
  if (lead == 0xA9 && trail == 0x60) return true;
  if (lead == 0xA4 && trail >= 0xA1 && trail <= 0xF3) return true;  // Hiragana
  if (lead == 0xA5 && trail >= 0xA1 && trail <= 0xF6) return true;  // Katakana
  return false;
}

}  // namespace

std::string with_default_extension(const std::string& path, const char* extension) {
  size_t dot = extension_dot(path);
  if (dot == std::string::npos) return path + "." + extension;
  if (dot + 1 == path.size()) return path + extension;
  return path;
}

std::string with_extension(const std::string& path, const char* extension) {
  size_t dot = extension_dot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + "." + extension;
}

bool valid_name(const std::string& name, bool field_name) {
  if (name.empty() || (field_name && name.size() > static_cast<size_t>(kMaxFieldName))) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(name.data());
  size_t n = name.size();
  if ((p[0] >= '0' && p[0] <= '9') || p[0] == '.') return false;
  if (n >= 2 && full_width_digit(p[0], p[1])) return false;
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    if (c < 0x80) {
      bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
      if (!ok) return false;
      continue;
    }
    if (i + 1 >= n || !accepted_pair(c, p[i + 1])) return false;  // a lone lead byte, too
    ++i;
  }
  return true;
}

bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
    if (lead_byte(x) && i + 1 < a.size()) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace database
