// Key shapes, key comparison and the index header's checks.
#include "database/index_format.h"
#include <cstring>
#include "database/format.h"

namespace database {

int32_t KeyShape::size(int32_t part) const {
  int32_t t = types[part];
  return t < 0 ? -t : field_size(t, 0);
}

int32_t KeyShape::length() const {
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) n += size(i);
  return n;
}

namespace {

template <class T>
int order(const uint8_t* a, const uint8_t* b) {
  T x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x < y ? -1 : y < x ? 1 : 0;
}

// GBK strings of at most `n` bytes, ending at a zero byte; a lead byte and its trail compare
// as one character, before single bytes are compared by value.
int compare_text(const uint8_t* a, const uint8_t* b, int32_t n) {
  for (int32_t i = 0; i < n;) {
    uint8_t x = a[i], y = b[i];
    if (x == 0 || y == 0) return x == y ? 0 : x == 0 ? -1 : 1;
    bool wide = x >= 0x81 && i + 1 < n && a[i + 1] != 0;
    bool wide_b = y >= 0x81 && i + 1 < n && b[i + 1] != 0;
    uint32_t cx = wide ? (uint32_t(x) << 8 | a[i + 1]) : uint32_t(x) << 8;
    uint32_t cy = wide_b ? (uint32_t(y) << 8 | b[i + 1]) : uint32_t(y) << 8;
    if (cx != cy) return cx < cy ? -1 : 1;
    i += wide ? 2 : 1;
  }
  return 0;
}

}  // namespace

int compare_keys(const KeyShape& shape, const uint8_t* a, const uint8_t* b) {
  for (int32_t p = 0; p < shape.count; ++p) {
    int32_t t = shape.types[p], n = shape.size(p);
    int c = 0;
    switch (t) {
      case kByte: c = order<uint8_t>(a, b); break;
      case kShort: c = order<int16_t>(a, b); break;
      case kInt: c = order<int32_t>(a, b); break;
      case kLong: c = order<int64_t>(a, b); break;
      case kFloat: c = order<float>(a, b); break;
      case kDouble: case kDateTime: c = order<double>(a, b); break;
      case kBool: c = (a[0] != 0) - (b[0] != 0); break;
      case kSubPtr: c = order<uint32_t>(a, b); break;
      default: c = t < 0 ? compare_text(a, b, n) : 0; break;
    }
    if (c) return c;
    a += n, b += n;
  }
  return 0;
}

int32_t check_index_header(const IndexHeader& h, uint64_t file_length, KeyShape* shape) {
  constexpr int32_t kNotIndex = -31;
  if (std::memcmp(h.magic, kIndexMagic, 4) != 0 || h.page_count < 2 || h.free_count < 0 ||
      h.free_count >= h.page_count || h.free_head < 0 || h.free_head >= h.page_count || h.root < 1 ||
      h.root >= h.page_count || h.page_size < kMinPageSize || h.key_length < 1 ||
      h.key_length > kMaxKeyLength || h.part_count < 1 || h.part_count > kMaxKeyParts)
    return kNotIndex;
  if (file_length / static_cast<uint32_t>(h.page_size) < static_cast<uint64_t>(h.page_count)) return -49;
  shape->count = h.part_count;
  for (int32_t p = 0; p < h.part_count; ++p) {
    int32_t t = h.types[p];
    if (strnlen(h.names[p], 17) == 0 || strnlen(h.names[p], 17) == 17 || t == 0 || t > kSubPtr ||
        t < -kMaxTextSize)
      return kNotIndex;
    shape->types[p] = t;
  }
  return shape->length() == h.key_length ? 0 : kNotIndex;
}

}  // namespace database
