// MD5 (RFC 1321), the password digest, RC4 and the page cipher.
#include "database/cipher.h"
#include <cstring>

namespace database {

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t rotl(uint32_t x, int c) { return x << c | x >> (32 - c); }

void md5_block(uint32_t h[4], const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 | uint32_t(block[4 * i + 2]) << 16 |
           uint32_t(block[4 * i + 3]) << 24;
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) f = (b & c) | (~b & d), g = i;
    else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
    else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
    else f = c ^ (b | ~d), g = (7 * i) % 16;
    uint32_t t = d;
    d = c;
    c = b;
    b = b + rotl(a + f + kSine[i] + m[g], kShift[i]);
    a = t;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d;
}

}  // namespace

std::array<uint8_t, 16> md5(const void* data, size_t length) {
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto* p = static_cast<const uint8_t*>(data);
  size_t whole = length / 64 * 64;
  for (size_t at = 0; at < whole; at += 64) md5_block(h, p + at);
  uint8_t tail[128] = {};
  size_t rest = length - whole;
  std::memcpy(tail, p + whole, rest);
  tail[rest] = 0x80;
  size_t tail_len = rest + 9 <= 64 ? 64 : 128;
  uint64_t bits = static_cast<uint64_t>(length) * 8;
  for (int i = 0; i < 8; ++i) tail[tail_len - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  for (size_t at = 0; at < tail_len; at += 64) md5_block(h, tail + at);
  std::array<uint8_t, 16> out;
  for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (8 * (i % 4)));
  return out;
}

std::string password_digest(const std::string& password) {
  static const char kHex[] = "0123456789abcdef";
  std::array<uint8_t, 16> d = md5(password.data(), password.size());
  std::string hex;
  for (uint8_t b : d) hex += kHex[b >> 4], hex += kHex[b & 15];
  for (size_t i = 0; i < hex.size(); i += 2) std::swap(hex[i], hex[i + 1]);
  return std::string(hex.rbegin(), hex.rend());
}

void Rc4::key(const uint8_t* k, size_t length) {
  for (int n = 0; n < 256; ++n) s[n] = static_cast<uint8_t>(n);
  uint8_t jj = 0;
  for (int n = 0; n < 256; ++n) {
    jj = static_cast<uint8_t>(jj + s[n] + k[n % length]);
    std::swap(s[n], s[jj]);
  }
  i = j = 0;
}

uint8_t Rc4::next() {
  i = static_cast<uint8_t>(i + 1);
  j = static_cast<uint8_t>(j + s[i]);
  std::swap(s[i], s[j]);
  return s[static_cast<uint8_t>(s[i] + s[j])];
}

void PageCipher::set(const std::string& password, uint32_t start_offset) {
  on = !password.empty();
  start = start_offset;
  digest = on ? password_digest(password) : std::string();
  if (on) base.key(reinterpret_cast<const uint8_t*>(password.data()), password.size());
}

bool PageCipher::same_key(const PageCipher& o) const {
  if (!on || !o.on) return on == o.on && start == o.start;  // an unkeyed state holds no key bytes
  return on == o.on && start == o.start && digest == o.digest &&
         std::memcmp(base.s, o.base.s, sizeof base.s) == 0;
}

void PageCipher::apply(uint8_t* data, size_t n, uint64_t position) const {
  if (!on || n == 0) return;
  if (position < start) {
    uint64_t skip = start - position;
    if (skip >= n) return;
    data += skip, n -= static_cast<size_t>(skip), position = start;
  }
  uint32_t page = static_cast<uint32_t>(position / kCipherPage);
  uint32_t offset = static_cast<uint32_t>(position % kCipherPage);
  Rc4 words = base;  // the page words: 4 keystream bytes per page, from page 0 on
  words.skip(4ull * page);
  while (n) {
    uint8_t w[4];
    for (uint8_t& b : w) b = words.next();
    uint32_t word = uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
    uint32_t mixed = page ^ word;
    uint8_t key[40];
    std::memcpy(key, w, 4);
    std::memcpy(key + 4, digest.data(), 32);
    for (int b = 0; b < 4; ++b) key[36 + b] = static_cast<uint8_t>(mixed >> (8 * b));
    Rc4 page_key;
    page_key.key(key, sizeof key);
    page_key.skip(36 + offset);
    size_t here = kCipherPage - offset < n ? kCipherPage - offset : n;
    for (size_t b = 0; b < here; ++b) data[b] ^= page_key.next();
    data += here, n -= here, ++page, offset = 0;
  }
}

}  // namespace database
