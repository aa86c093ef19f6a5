// Argument readers and result builders shared by every library and unit.
#include "runtime/args.h"
#include <cstring>
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace runtime {



namespace {

const ArgRecord kOmitted{};

bool needs_free(uint32_t type) {
  return type == kTypeText || type == kTypeBin || is_array(type);
}

void set_array(ResultRecord* r, const std::string_view* items, size_t n, bool texts) {
  auto* block = static_cast<uint32_t*>(allocate(static_cast<uint32_t>(8 + 4 * n)));
  block[0] = 1;
  block[1] = static_cast<uint32_t>(n);
  for (size_t i = 0; i < n; ++i) {
    void* p = texts ? static_cast<void*>(new_text(items[i])) : new_bin(items[i]);
    block[2 + i] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
  }
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
}

}  // namespace

double bits_double(const ArgRecord& a) {
  uint64_t u = static_cast<uint64_t>(a.hi) << 32 | a.lo;
  double d;
  memcpy(&d, &u, 8);
  return d;
}

float bits_float(const ArgRecord& a) {
  float f;
  memcpy(&f, &a.lo, 4);
  return f;
}

Arg::Arg(const ArgRecord& record) : rec_(record) {
  if (record.type == kTypeSubStmt) {
    rec_ = evaluate_substmt(record);
    owned_ = needs_free(rec_.type);
  }
}

Arg::~Arg() {
  if (!owned_) return;
  if (is_array(rec_.type)) {
    // An array of texts or byte sets owns its element blocks.
    auto* block = reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(rec_.lo));
    uint32_t el = element_type(rec_.type);
    if (block && (el == kTypeText || el == kTypeBin)) {
      uint32_t d = block[0], count = 1;
      for (uint32_t i = 0; i < d; ++i) count *= block[1 + i];
      for (uint32_t i = 0; i < count; ++i)
        free_block(reinterpret_cast<void*>(static_cast<uintptr_t>(block[1 + d + i])));
    }
  }
  free_block(reinterpret_cast<void*>(static_cast<uintptr_t>(rec_.lo)));
}

const ArgRecord& arg_at(int argc, const ArgRecord* args, int i) {
  return (i >= 0 && i < argc && args) ? args[i] : kOmitted;
}

bool is_numeric(uint32_t type) {
  switch (type) {
    case kTypeByte: case kTypeShort: case kTypeInt:
    case kTypeLong: case kTypeFloat: case kTypeDouble:
      return true;
    default:
      return false;
  }
}

int64_t trunc64(double v) {
  if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(v);
}

double num_double(const ArgRecord& record) {
  Arg arg(record);
  const ArgRecord& a = arg.record();
  switch (a.type) {
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<int16_t>(a.lo);
    case kTypeInt: case kTypeBool: return static_cast<int32_t>(a.lo);
    case kTypeLong: return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo));
    case kTypeFloat: return bits_float(a);
    case kTypeDouble: case kTypeDateTime: return bits_double(a);
    default: return 0;
  }
}

int64_t num_long(const ArgRecord& record) {
  Arg arg(record);
  const ArgRecord& a = arg.record();
  switch (a.type) {
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<int16_t>(a.lo);
    case kTypeInt: case kTypeBool: return static_cast<int32_t>(a.lo);
    case kTypeLong: return static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo);
    case kTypeFloat: return trunc64(bits_float(a));
    case kTypeDouble: case kTypeDateTime: return trunc64(bits_double(a));
    default: return 0;
  }
}

int32_t num_int(const ArgRecord& a) { return static_cast<int32_t>(num_long(a)); }

int32_t int_or(int argc, const ArgRecord* args, int i, int32_t fallback) {
  const ArgRecord& a = arg_at(argc, args, i);
  return a.type == kTypeNone ? fallback : num_int(a);
}

bool bool_or(int argc, const ArgRecord* args, int i, bool fallback) {
  const ArgRecord& a = arg_at(argc, args, i);
  return a.type == kTypeNone ? fallback : num_long(a) != 0;
}

const char* text_of(const ArgRecord& a) {
  if (a.type != kTypeText) return "";
  const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(a.lo));
  return p ? p : "";
}

std::string_view bin_of(const ArgRecord& a) {
  if (a.type != kTypeBin) return {};
  auto* h = reinterpret_cast<const BinHeader*>(static_cast<uintptr_t>(a.lo));
  if (!h) return {};
  return {reinterpret_cast<const char*>(h + 1), h->length};
}

void set_int(ResultRecord* r, int32_t v) { r->lo = static_cast<uint32_t>(v); }
void set_bool(ResultRecord* r, bool v) { r->lo = v ? 1 : 0; }
void set_float(ResultRecord* r, float v) { memcpy(&r->lo, &v, 4); }

void set_long(ResultRecord* r, int64_t v) {
  r->lo = static_cast<uint32_t>(v);
  r->hi = static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32);
}

void set_double(ResultRecord* r, double v) {
  uint64_t u;
  memcpy(&u, &v, 8);
  r->lo = static_cast<uint32_t>(u);
  r->hi = static_cast<uint32_t>(u >> 32);
}

char* new_text(std::string_view s) {
  if (s.empty()) return nullptr;
  auto* p = static_cast<char*>(allocate(static_cast<uint32_t>(s.size() + 1)));
  memcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}

void* new_bin(std::string_view s) {
  if (s.empty()) return nullptr;
  auto* h = static_cast<BinHeader*>(allocate(static_cast<uint32_t>(sizeof(BinHeader) + s.size())));
  h->dims = 1;
  h->length = static_cast<uint32_t>(s.size());
  memcpy(h + 1, s.data(), s.size());
  return h;
}

void set_text(ResultRecord* r, std::string_view s) {
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(new_text(s)));
}

void set_bin(ResultRecord* r, std::string_view s) {
  r->lo = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(new_bin(s)));
}

void set_text_array(ResultRecord* r, const std::string_view* items, size_t n) {
  set_array(r, items, n, true);
}

void set_bin_array(ResultRecord* r, const std::string_view* items, size_t n) {
  set_array(r, items, n, false);
}

}  // namespace runtime
