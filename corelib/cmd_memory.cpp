// Arrays in place and memory by address: sort array, clear array, text at address, bytes at
// address, write to address.
//
// The address commands take whatever integer compiled code gives them. An address whose
// memory is not readable (or writable, for a write) gives an empty result or writes nothing,
// instead of ending the program with an access fault.
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace corelib {

using namespace runtime;

namespace {

// ---- Arrays ------------------------------------------------------------------------------------

// The array block held by a by-reference array variable, made writable (copied out of the
// image's constants when it lies there); null for anything but a variable of a numeric
// array. `element` receives the element type, `count` the element count.
uint8_t* numeric_array(const ArgRecord& a, uint32_t* element, size_t* count) {
  if ((a.type & 0xC0000000u) != kVariableMark || a.lo == 0) return nullptr;
  uint32_t type = (a.type & 0x3FFFFFFFu) | 0x80000000u;
  if (!runtime::is_array(type) || !is_numeric(runtime::element_type(type))) return nullptr;
  *element = runtime::element_type(type);
  auto** variable = reinterpret_cast<void**>(static_cast<uintptr_t>(a.lo));
  if (!*variable) return nullptr;
  runtime::make_array_writable(runtime::type_size(*element), variable);
  auto* block = static_cast<uint32_t*>(*variable);
  uint64_t n = 1;
  for (uint32_t d = 0; d < block[0]; ++d) n *= block[1 + d];
  *count = static_cast<size_t>(n);
  return reinterpret_cast<uint8_t*>(block + 1 + block[0]);
}

template <class T>
void sort_as(uint8_t* data, size_t n, bool ascending) {
  T* first = reinterpret_cast<T*>(data);
  if (ascending) std::sort(first, first + n);
  else std::sort(first, first + n, std::greater<T>());
}

// ---- Memory by address ----------------------------------------------------------------------

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                            PAGE_EXECUTE_WRITECOPY;

// Whether [p, p + n) lies in committed memory with one of the protections in `access`.
bool accessible(uintptr_t p, size_t n, DWORD access) {
  if (p == 0 || p + n < p) return false;
  uintptr_t end = p + n;
  while (p < end) {
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQuery(reinterpret_cast<void*>(p), &m, sizeof m)) return false;
    if (m.State != MEM_COMMIT || !(m.Protect & access) || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
      return false;
    p = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
  }
  return true;
}

// The zero-terminated text at `p`, read region by region so that it never runs into memory
// that cannot be read (a text without its zero byte there gives empty).
std::string text_at(uintptr_t p) {
  std::string text;
  while (p) {
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQuery(reinterpret_cast<void*>(p), &m, sizeof m) || m.State != MEM_COMMIT ||
        !(m.Protect & kReadable) || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
      return {};
    uintptr_t region_end = reinterpret_cast<uintptr_t>(m.BaseAddress) + m.RegionSize;
    const char* at = reinterpret_cast<const char*>(p);
    size_t n = region_end - p;
    const void* zero = memchr(at, 0, n);
    if (zero) return text.append(at, static_cast<const char*>(zero) - at);
    text.append(at, n);
    p = region_end;
  }
  return {};
}

// The bytes a write to address copies: a byte array's or byte set's bytes, a basic value's
// stored bytes (a text with its zero byte); false for other arrays and kinds.
bool bytes_to_write(const ArgRecord& a, std::string* out) {
  if (runtime::is_array(a.type)) {
    if (runtime::element_type(a.type) != kTypeByte) return false;
    const auto* block = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(a.lo));
    out->clear();
    if (!block) return true;
    uint64_t n = 1;
    for (uint32_t d = 0; d < block[0]; ++d) n *= block[1 + d];
    out->assign(reinterpret_cast<const char*>(block + 1 + block[0]), static_cast<size_t>(n));
    return true;
  }
  if (!value_bytes(a, out)) return false;
  if (a.type == kTypeText) out->push_back('\0');
  return true;
}

}  // namespace

// Arguments: a by-reference numeric array, optional ascending flag (default true). All the
// elements are sorted as one sequence; arrays of other types are left alone.
CORELIB_COMMAND(sort_array) {
  uint32_t element = 0;
  size_t n = 0;
  uint8_t* data = numeric_array(arg_at(argc, args, 0), &element, &n);
  if (!data) return;
  bool ascending = bool_or(argc, args, 1, true);
  switch (element) {
    case kTypeByte: return sort_as<uint8_t>(data, n, ascending);
    case kTypeShort: return sort_as<int16_t>(data, n, ascending);
    case kTypeInt: return sort_as<int32_t>(data, n, ascending);
    case kTypeLong: return sort_as<int64_t>(data, n, ascending);
    case kTypeFloat: return sort_as<float>(data, n, ascending);
    case kTypeDouble: return sort_as<double>(data, n, ascending);
  }
}

// Argument: a by-reference numeric array; every element becomes 0.
CORELIB_COMMAND(clear_array) {
  uint32_t element = 0;
  size_t n = 0;
  if (uint8_t* data = numeric_array(arg_at(argc, args, 0), &element, &n))
    memset(data, 0, n * runtime::type_size(element));
}

CORELIB_COMMAND(text_at_address) {
  set_text(result, text_at(static_cast<uint32_t>(num_int(arg_at(argc, args, 0)))));
}

CORELIB_COMMAND(bytes_at_address) {
  uintptr_t p = static_cast<uint32_t>(num_int(arg_at(argc, args, 0)));
  int32_t n = num_int(arg_at(argc, args, 1));
  if (n <= 0 || !accessible(p, static_cast<size_t>(n), kReadable)) return;
  set_bin(result, std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(n)));
}

// Arguments: the value, the address, an optional maximum length (0 or more and not above the
// byte count: the copy is cut to it).
CORELIB_COMMAND(write_to_address) {
  Arg value(arg_at(argc, args, 0));
  std::string bytes;
  if (!bytes_to_write(value.record(), &bytes)) return;
  int32_t limit = int_or(argc, args, 2, -1);
  if (limit >= 0 && static_cast<size_t>(limit) <= bytes.size()) bytes.resize(static_cast<size_t>(limit));
  uintptr_t p = static_cast<uint32_t>(num_int(arg_at(argc, args, 1)));
  if (bytes.empty() || !accessible(p, bytes.size(), kWritable)) return;
  memcpy(reinterpret_cast<void*>(p), bytes.data(), bytes.size());
}

}  // namespace corelib
