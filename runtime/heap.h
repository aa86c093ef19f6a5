// The runtime heap and the ownership rules: allocate, resize and free with the constant-range
// rules, make-array-writable, type sizes and numeric reading of a value.
#pragma once
#include <cstdint>
#include "abi/values.h"

namespace runtime {

void* allocate(uint32_t size);             // never null: failure is the run-time error
void* allocate_or_null(uint32_t size);     // null on failure
void* resize(void* block, uint32_t size);  // block may be null or constant (copied out)
void free_block(void* block);              // ignores null and constant blocks
// End of the constant range holding `p`, or null when `p` is not constant.
const uint8_t* constant_end(const void* p);
void make_array_writable(uint32_t element_size, void** variable);
uint32_t type_size(uint32_t type);
int32_t read_int(const ArgRecord& value);  // "欲转换数据类型不是数值" for non-numbers

}  // namespace runtime
