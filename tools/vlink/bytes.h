// Little-endian byte buffers for the image linker: an appending writer and bounded reads.
#pragma once
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace vlink {

using Bytes = std::vector<uint8_t>;

// A failure that ends the tool with a message (bad input, never a crash).
struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline uint32_t align_up(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

inline uint32_t get32(const Bytes& b, size_t at) {
  if (at > b.size() || b.size() - at < 4) throw Error("read past the end of the data at " + std::to_string(at));
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline uint16_t get16(const Bytes& b, size_t at) {
  if (at > b.size() || b.size() - at < 2) throw Error("read past the end of the data at " + std::to_string(at));
  return uint16_t(b[at] | b[at + 1] << 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  if (at > b.size() || b.size() - at < 4) throw Error("write past the end of the data at " + std::to_string(at));
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
inline void put16(Bytes& b, size_t at, uint16_t v) {
  if (at > b.size() || b.size() - at < 2) throw Error("write past the end of the data");
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

class Writer {
 public:
  Bytes& bytes() { return b_; }
  uint32_t size() const { return static_cast<uint32_t>(b_.size()); }
  void u32(uint32_t v) { for (int i = 0; i < 4; ++i) b_.push_back(uint8_t(v >> (8 * i))); }
  void raw(const void* p, size_t n) { auto* c = static_cast<const uint8_t*>(p); b_.insert(b_.end(), c, c + n); }
  void raw(const Bytes& v) { b_.insert(b_.end(), v.begin(), v.end()); }
  void string(const std::string& s) { raw(s.data(), s.size()); b_.push_back(0); }       // NUL-terminated
  void text(const std::string& s) { u32(static_cast<uint32_t>(s.size())); raw(s.data(), s.size()); }  // counted
  void zeros(size_t n) { b_.insert(b_.end(), n, 0); }
  void align(uint32_t a) { zeros(align_up(size(), a) - size()); }
  template <class T> void record(const T& v) { raw(&v, sizeof v); }

 private:
  Bytes b_;
};

}  // namespace vlink
