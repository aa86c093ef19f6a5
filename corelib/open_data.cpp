// Typed data: stored forms out of values, and values back into variables.
#include "corelib/open_data.h"
#include <cstring>
#include <vector>
#include "corelib/cmd_support.h"
#include "runtime/heap.h"
#include "runtime/notify.h"

namespace corelib::data {

namespace {

using runtime::ArgRecord;
using namespace runtime;

template <typename T>
T* at_word(uint32_t word) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(word));
}
uint32_t word_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Size of a fixed-size element type; 0 for texts, byte sets and anything that is not basic.
uint32_t fixed_size(uint32_t type) {
  switch (type) {
    case kTypeByte: return 1;
    case kTypeShort: return 2;
    case kTypeInt:
    case kTypeFloat:
    case kTypeBool:
    case kTypeSubPtr: return 4;
    case kTypeLong:
    case kTypeDouble:
    case kTypeDateTime: return 8;
    default: return 0;
  }
}

bool is_basic(uint32_t type) { return fixed_size(type) != 0 || type == kTypeText || type == kTypeBin; }

void append_text(const char* text, std::string* out) {
  if (text) out->append(text);
  out->push_back('\0');
}

void append_bin(const BinHeader* bin, std::string* out) {
  uint32_t n = bin ? bin->length : 0;
  out->append(reinterpret_cast<const char*>(&n), 4);
  if (n) out->append(reinterpret_cast<const char*>(bin + 1), n);
}

// Element count of an array block (the product of its dimensions); false when it would not fit.
bool element_count(const uint32_t* block, uint64_t* count) {
  *count = 0;
  if (!block) return true;
  uint32_t dims = block[0];
  if (dims > 0xFFFF) return false;
  uint64_t n = 1;
  for (uint32_t d = 0; d < dims; ++d) {
    n *= block[1 + d];
    if (n > 0x7FFFFFFF) return false;
  }
  *count = n;
  return true;
}

// The element type of a record whose type code names a variable, or the value's own type.
uint32_t plain_type(uint32_t type) {
  if ((type & 0xC0000000u) == kVariableMark) return (type & 0x3FFFFFFFu) | 0x80000000u;
  return type;
}

bool read_exact(files::OpenFile* f, void* out, size_t n) {
  size_t got = 0;
  return f->read(static_cast<char*>(out), n, &got) && got == n;
}

int64_t remaining(files::OpenFile* f) {
  int64_t length = f->length(), pos = f->position();
  return length < 0 || pos < 0 || pos >= length ? 0 : length - pos;
}

// A text up to its zero byte, as a new runtime block (null for an empty text).
bool read_text(files::OpenFile* f, char** out) {
  std::string text;
  for (;;) {
    char c;
    if (!read_exact(f, &c, 1)) return false;  // no zero byte before the end
    if (c == '\0') break;
    text.push_back(c);
  }
  *out = nullptr;
  if (text.empty()) return true;
  *out = static_cast<char*>(allocate_or_null(static_cast<uint32_t>(text.size() + 1)));
  if (!*out) return false;
  memcpy(*out, text.c_str(), text.size() + 1);
  return true;
}

// A byte set: its length (never more than the file still holds), then its bytes.
bool read_bin(files::OpenFile* f, void** out) {
  uint32_t n = 0;
  if (!read_exact(f, &n, 4) || n > remaining(f)) return false;
  *out = nullptr;
  if (n == 0) return true;
  auto* h = static_cast<BinHeader*>(allocate_or_null(static_cast<uint32_t>(sizeof(BinHeader) + n)));
  if (!h) return false;
  h->dims = 1;
  h->length = n;
  if (!read_exact(f, h + 1, n)) {
    free_block(h);
    return false;
  }
  *out = h;
  return true;
}

// A whole array of `count` elements of `type` as a new one-dimensional block.
bool read_array(files::OpenFile* f, uint32_t type, uint64_t count, uint32_t** out) {
  uint32_t size = fixed_size(type);
  // Every element takes at least one byte of the file: a larger count is a short read.
  if (count > static_cast<uint64_t>(remaining(f))) return false;
  uint64_t bytes = 8 + count * (size ? size : 4);
  auto* block = static_cast<uint32_t*>(allocate_or_null(static_cast<uint32_t>(bytes)));
  if (!block) return false;
  block[0] = 1;
  block[1] = static_cast<uint32_t>(count);
  if (size) {
    if (read_exact(f, block + 2, static_cast<size_t>(count * size))) {
      *out = block;
      return true;
    }
    free_block(block);
    return false;
  }
  memset(block + 2, 0, static_cast<size_t>(count * 4));
  for (uint64_t i = 0; i < count; ++i) {
    void* item = nullptr;
    bool ok = type == kTypeText ? read_text(f, reinterpret_cast<char**>(&item)) : read_bin(f, &item);
    if (!ok) {
      notify(2023, type | kArrayBit, word_of(block));  // the elements read so far, and the block
      return false;
    }
    block[2 + i] = word_of(item);
  }
  *out = block;
  return true;
}

}  // namespace

bool append_stored(const ArgRecord& value, std::string* out) {
  uint32_t type = plain_type(value.type);
  bool variable = type != value.type;
  if (variable && value.lo == 0) return false;
  uint32_t element = type & kTypeMask;
  if (!is_basic(element)) return false;

  if (type & kArrayBit) {
    const uint32_t* block = variable ? *at_word<uint32_t*>(value.lo) : at_word<const uint32_t>(value.lo);
    uint64_t count = 0;
    if (!element_count(block, &count)) return false;
    if (count == 0) return true;
    const auto* items = reinterpret_cast<const uint8_t*>(block + 1 + block[0]);
    uint32_t size = fixed_size(element);
    if (size) {
      out->append(reinterpret_cast<const char*>(items), static_cast<size_t>(count * size));
      return true;
    }
    const auto* pointers = reinterpret_cast<const uint32_t*>(items);
    for (uint64_t i = 0; i < count; ++i) {
      if (element == kTypeText) append_text(at_word<const char>(pointers[i]), out);
      else append_bin(at_word<const BinHeader>(pointers[i]), out);
    }
    return true;
  }

  if (element == kTypeText || element == kTypeBin) {
    uint32_t pointer = variable ? *at_word<uint32_t>(value.lo) : value.lo;
    if (element == kTypeText) append_text(at_word<const char>(pointer), out);
    else append_bin(at_word<const BinHeader>(pointer), out);
    return true;
  }
  uint32_t size = fixed_size(element);
  if (variable) {
    out->append(at_word<const char>(value.lo), size);
  } else {
    uint32_t words[2] = {value.lo, value.hi};
    out->append(reinterpret_cast<const char*>(words), size);
  }
  return true;
}

bool read_into(files::OpenFile* f, const ArgRecord& variable) {
  uint32_t type = plain_type(variable.type);
  if (type == variable.type || variable.lo == 0) return false;  // not a variable
  uint32_t element = type & kTypeMask;
  if (!is_basic(element)) return false;

  if (type & kArrayBit) {
    uint32_t** slot = at_word<uint32_t*>(variable.lo);
    uint64_t count = 0;
    if (!element_count(*slot, &count)) return false;
    uint32_t* fresh = nullptr;
    if (!read_array(f, element, count, &fresh)) return false;
    notify(2023, element | kArrayBit, word_of(*slot));
    *slot = fresh;
    return true;
  }
  if (element == kTypeText) {
    char* text = nullptr;
    if (!read_text(f, &text)) return false;
    char** slot = at_word<char*>(variable.lo);
    free_block(*slot);
    *slot = text;
    return true;
  }
  if (element == kTypeBin) {
    void* bin = nullptr;
    if (!read_bin(f, &bin)) return false;
    void** slot = at_word<void*>(variable.lo);
    free_block(*slot);
    *slot = bin;
    return true;
  }
  uint8_t bytes[8];
  uint32_t size = fixed_size(element);
  if (!read_exact(f, bytes, size)) return false;
  memcpy(at_word<void>(variable.lo), bytes, size);
  return true;
}

}  // namespace corelib::data
