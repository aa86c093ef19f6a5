// Rewriting text parts of index keys.
#include "database/key_transform.h"
#include <cstring>

namespace database {

namespace {

PronunciationBytes g_pronunciation = nullptr;

void transform_text(const uint8_t* in, uint8_t* out, int32_t n, int32_t sort_mode, int32_t flags) {
  std::memset(out, 0, static_cast<size_t>(n));
  int32_t w = 0;
  for (int32_t i = 0; i < n && in[i] != 0;) {
    uint8_t c = in[i];
    if (c < 0x81) {
      ++i;
      if ((flags & kIgnoreSpaces) && c == ' ') continue;
      if ((flags & kIgnoreCase) && c >= 'a' && c <= 'z') c -= 32;
      out[w++] = c;
      continue;
    }
    if (i + 1 >= n) break;  // a lead byte that ends the part ends the text
    uint8_t t = in[i + 1];
    i += 2;
    if ((flags & kIgnoreSpaces) && c == 0xA1 && t == 0xA1) continue;  // the full-width space
    uint16_t code = 0;
    if (sort_mode != 0 && g_pronunciation && c >= 0xB0 && c <= 0xF7 && t >= 0xA1 && t <= 0xFE)
      code = g_pronunciation(c, t, sort_mode == 2);
    if (code) {
      out[w++] = static_cast<uint8_t>(code);
      out[w++] = static_cast<uint8_t>(code >> 8);
    } else {
      out[w++] = c;
      out[w++] = t;
    }
  }
}

}  // namespace

void set_pronunciation(PronunciationBytes fn) { g_pronunciation = fn; }

void transform_key(const KeyShape& shape, int32_t sort_mode, int32_t flags, const uint8_t* in, uint8_t* out) {
  for (int32_t p = 0; p < shape.count; ++p) {
    int32_t n = shape.size(p);
    if (shape.types[p] < 0) transform_text(in, out, n, sort_mode, flags);
    else std::memcpy(out, in, static_cast<size_t>(n));
    in += n, out += n;
  }
}

}  // namespace database
