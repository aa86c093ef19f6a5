// Custom data of the list units (list, check list and combo boxes, tab page captions): an item
// list is a 32-bit count followed by each item's text (32-bit length and the bytes); item
// values are 32-bit integers back to back, one per item.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "units/unit_data.h"

namespace units {

// No items are no data.
inline std::string encode_items(const std::vector<std::string>& items) {
  if (items.empty()) return {};
  DataWriter w;
  w.u32(static_cast<uint32_t>(items.size()));
  for (const std::string& s : items) w.bytes(s);
  return w.data();
}

// The items of custom data; corrupt data (a count or length past its end) gives none.
inline std::vector<std::string> decode_items(const std::string& data) {
  DataReader r(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
  uint32_t n = 0;
  std::vector<std::string> items;
  if (!r.u32(n) || n > data.size() / 4) return items;
  for (uint32_t i = 0; i < n; ++i) {
    std::string s;
    if (!r.bytes(s)) return {};
    items.push_back(s.substr(0, s.find('\0')));
  }
  return items;
}

inline std::string encode_values(const std::vector<int32_t>& values) {
  DataWriter w;
  for (int32_t v : values) w.i32(v);
  return w.data();
}

// `count` values from custom data; missing ones are 0, extra bytes are ignored.
inline std::vector<int32_t> decode_values(const std::string& data, size_t count) {
  DataReader r(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
  std::vector<int32_t> values(count, 0);
  for (int32_t& v : values) r.i32(v);
  return values;
}

}  // namespace units
