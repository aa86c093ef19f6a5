// Type-specific unit data: a bounded reader and a writer for the versioned records that
// window templates hold (32-bit little-endian integers, "bytes" and "text" as a 32-bit length
// followed by that many bytes).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace units {

class DataReader {
 public:
  DataReader(const uint8_t* data, uint32_t length) : p_(data), end_(data + (data ? length : 0)) {}
  bool empty() const { return p_ == end_; }
  bool at_end() const { return p_ >= end_; }
  bool ok() const { return ok_; }
  // Reads stop at the end of the data: a short record leaves the remaining fields unread
  // (their defaults stay); a length running past the end marks the data as corrupt.
  bool u32(uint32_t& v) {
    if (end_ - p_ < 4) return false;
    std::memcpy(&v, p_, 4);
    p_ += 4;
    return true;
  }
  bool i32(int32_t& v) {
    uint32_t u;
    if (!u32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }
  bool u16(uint16_t& v) {
    if (end_ - p_ < 2) return false;
    std::memcpy(&v, p_, 2);
    p_ += 2;
    return true;
  }
  bool bytes(std::string& v) {
    uint32_t n;
    if (!u32(n)) return false;
    if (static_cast<uint32_t>(end_ - p_) < n) {
      ok_ = false;
      p_ = end_;
      return false;
    }
    v.assign(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return true;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

class DataWriter {
 public:
  void u32(uint32_t v) { out_.append(reinterpret_cast<const char*>(&v), 4); }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void u16(uint16_t v) { out_.append(reinterpret_cast<const char*>(&v), 2); }
  void bytes(const std::string& v) {
    u32(static_cast<uint32_t>(v.size()));
    out_ += v;
  }
  const std::string& data() const { return out_; }

 private:
  std::string out_;
};

}  // namespace units
