// The runtime heap: allocate, resize and free with the constant-range rules, make-array-writable,
// type sizes and numeric reading of a value slot.
#include "runtime/heap.h"
#include <windows.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "runtime/runtime.h"
#include "runtime/errors.h"

namespace runtime {

namespace {

HANDLE heap() {
  HANDLE h = runtime::rt().heap;
  return h ? h : GetProcessHeap();
}

[[noreturn]] void allocation_failed(uint32_t size) {
  char message[64];
  std::snprintf(message, sizeof message, "分配 %d 字节内存失败!", static_cast<int>(size));
  raise_error(message, 0);
}

struct TypeSize {
  uint32_t type;
  uint32_t size;
};

constexpr TypeSize kTypeSizes[] = {
    {kTypeByte, 1},     {kTypeShort, 2},    {kTypeInt, 4},      {kTypeLong, 8},
    {kTypeFloat, 4},    {kTypeDouble, 8},   {kTypeBool, 4},     {kTypeDateTime, 8},
    {kTypeText, 4},     {kTypeBin, 4},      {kTypeSubPtr, 4},   {kTypeSubStmt, 8},
};

// Truncates toward zero to 64 bits and keeps the low word; out of range (and NaN) gives the
// machine's "integer indefinite", whose low word is 0.
int32_t truncate_low_word(double d) {
  if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return 0;
  return static_cast<int32_t>(static_cast<uint64_t>(static_cast<int64_t>(d)));
}

}  // namespace

void* allocate_or_null(uint32_t size) { return HeapAlloc(heap(), 0, size); }

void* allocate(uint32_t size) {
  void* block = allocate_or_null(size);
  if (!block) allocation_failed(size);
  return block;
}

const uint8_t* constant_end(const void* p) {
  auto* q = static_cast<const uint8_t*>(p);
  if (!q) return nullptr;
  for (const runtime::ConstRange& r : runtime::rt().const_ranges)
    if (q >= r.begin && q < r.end) return r.end;
  return nullptr;
}

void* resize(void* block, uint32_t size) {
  if (!block) return allocate(size);
  if (const uint8_t* end = constant_end(block)) {
    void* copy = allocate(size);
    uint32_t available = static_cast<uint32_t>(end - static_cast<const uint8_t*>(block));
    std::memcpy(copy, block, size < available ? size : available);
    return copy;
  }
  void* moved = HeapReAlloc(heap(), 0, block, size);
  if (!moved) allocation_failed(size);
  return moved;
}

void free_block(void* block) {
  if (!block || constant_end(block)) return;
  HeapFree(heap(), 0, block);
}

// A constant array block is copied to the heap before compiled code writes to it. The copy is
// bounded by the constant range: a block whose stated size runs past the range's end (a corrupt
// image) gets its missing tail zero-filled instead of reading beyond the range.
void make_array_writable(uint32_t element_size, void** variable) {
  auto* p = static_cast<const uint8_t*>(*variable);
  const uint8_t* end = constant_end(p);
  if (!end) return;
  uint64_t available = static_cast<uint64_t>(end - p);
  uint32_t dims = 0;
  if (available >= 4) std::memcpy(&dims, p, 4);
  uint64_t count = 1;
  for (uint32_t i = 0; i < dims && 4 + 4ull * i + 4 <= available; ++i) {
    uint32_t n;
    std::memcpy(&n, p + 4 + 4 * i, 4);
    count *= n;
    if (count > 0xFFFFFFFFull) break;
  }
  uint64_t size = 4 + 4ull * dims + element_size * count;
  if (size > 0x7FFFFFFFull) allocation_failed(static_cast<uint32_t>(size));
  auto* copy = static_cast<uint8_t*>(allocate(static_cast<uint32_t>(size)));
  uint64_t n = size < available ? size : available;
  std::memcpy(copy, p, static_cast<size_t>(n));
  std::memset(copy + n, 0, static_cast<size_t>(size - n));
  *variable = copy;
}

uint32_t type_size(uint32_t type) {
  for (const TypeSize& t : kTypeSizes)
    if (t.type == type) return t.size;
  return 0;
}

int32_t read_int(const ArgRecord& value) {
  switch (value.type) {
    case kTypeByte: return static_cast<uint8_t>(value.lo);
    case kTypeShort: return static_cast<int16_t>(value.lo);
    case kTypeInt:
    case kTypeLong: return static_cast<int32_t>(value.lo);
    case kTypeFloat: {
      float f;
      std::memcpy(&f, &value.lo, 4);
      return truncate_low_word(f);
    }
    case kTypeDouble: {
      uint64_t bits = value.lo | static_cast<uint64_t>(value.hi) << 32;
      double d;
      std::memcpy(&d, &bits, 8);
      return truncate_low_word(d);
    }
    default: raise_error("欲转换数据类型不是数值", 0);
  }
}

}  // namespace runtime
