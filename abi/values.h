// Values: data type codes, value slots, argument and result records, text, byte-set and
// array blocks. Shared by compiled code, the runtime and every support library.
#pragma once
#include <cstdint>

namespace runtime {

// Data type codes. Bit 29 marks an array; compare codes with kArrayBit cleared.
enum : uint32_t {
  kTypeNone     = 0,
  kTypeByte     = 0x80000101,
  kTypeShort    = 0x80000201,
  kTypeInt      = 0x80000301,
  kTypeLong     = 0x80000401,
  kTypeFloat    = 0x80000501,
  kTypeDouble   = 0x80000601,
  kTypeBool     = 0x80000002,
  kTypeDateTime = 0x80000003,
  kTypeText     = 0x80000004,
  kTypeBin      = 0x80000005,
  kTypeSubPtr   = 0x80000006,
  kTypeSubStmt  = 0x80000008,
  kArrayBit     = 0x20000000,
  kTypeMask     = 0xDFFFFFFF,  // clears the array bit
};

// A 64-bit value slot plus its type: the argument record, and with the same layout the
// result record (the caller zeroes it; a command with a varying result type sets `type`).
struct ArgRecord {
  uint32_t lo;    // low word (pointer for texts, byte sets, arrays and by-reference args)
  uint32_t hi;    // high word (Long, Double, DateTime, SubStmt context)
  uint32_t type;  // data type code; 0 = omitted argument
};
static_assert(sizeof(ArgRecord) == 12);
using ResultRecord = ArgRecord;

// Byte set block: {1, n, bytes...}. Array block: {d, d sizes, elements...}.
struct BinHeader {
  uint32_t dims;    // always 1 for a byte set
  uint32_t length;  // byte count n
};
static_assert(sizeof(BinHeader) == 8);

// Command routine of any support library: C calling convention.
using CommandRoutine = void(__cdecl*)(ResultRecord* result, int argc, ArgRecord* args);

}  // namespace runtime
