// The password digest and the page cipher of password-protected database files.
//
// Digest: MD5 of the password as 32 lower-case hex characters, the two characters of each
// pair swapped, then the whole string reversed.
// Page cipher: RC4 keyed with the password gives the base state; its keystream yields one
// 32-bit page word per 4096-byte page. Each page is enciphered with RC4 keyed by {page word,
// the 32 digest characters, page index XOR page word}, after discarding 36 bytes plus the
// offset inside the page. Enciphering and deciphering are the same XOR; bytes before the
// start offset stay plain.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace database {

std::array<uint8_t, 16> md5(const void* data, size_t length);
std::string password_digest(const std::string& password);  // 32 characters

struct Rc4 {
  uint8_t s[256];
  uint8_t i = 0, j = 0;
  // The key schedule from the identity permutation; i = j = 0.
  void key(const uint8_t* key, size_t length);
  uint8_t next();
  void skip(size_t n) {
    while (n--) next();
  }
};

inline constexpr uint32_t kCipherPage = 4096;

// A file's cipher state: off when the password is empty.
struct PageCipher {
  bool on = false;
  uint32_t start = 4;        // bytes before it stay plain
  std::string digest;        // 32 characters
  Rc4 base;                  // keyed with the password

  // Keys the cipher with `password` (empty: off).
  void set(const std::string& password, uint32_t start_offset);
  // Enciphers or deciphers `n` bytes that lie at file position `position`, in place.
  void apply(uint8_t* data, size_t n, uint64_t position) const;
  bool same_key(const PageCipher& o) const;
};

}  // namespace database
