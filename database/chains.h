// Block chains of the auxiliary file: a memo or byte-set value is a chain of 512-byte blocks
// (12-byte header, 500 data bytes); free blocks form a doubly linked list whose head and
// length are in the auxiliary header. Every failure, a corrupt link included, gives -59.
#pragma once
#include <cstdint>
#include <string>
#include "database/file.h"

namespace database {

inline constexpr int32_t kChainError = -59;

// Appends the value whose chain starts at `first` (0 = empty) to `out`.
int32_t read_chain(DbFile& aux, int32_t first, std::string& out);
// Stores `n` bytes, reusing the chain at `old_first` first, then free blocks, then new blocks
// at the end; releases what is left of the old chain and trims free blocks off the file's
// end. `new_first` is 0 for an empty value.
int32_t write_chain(DbFile& aux, const void* data, uint32_t n, int32_t old_first, int32_t* new_first);
inline int32_t release_chain(DbFile& aux, int32_t first) {
  int32_t none = 0;
  return write_chain(aux, nullptr, 0, first, &none);
}

}  // namespace database
