// Stored layouts of the database engine: the database file (header, field descriptors,
// fixed-length records) and the auxiliary file of 512-byte blocks that holds memo and
// byte-set values. Little-endian; every layout is read and written only through these structs.
//
// Database file:  header (112) | field count (4) | n x descriptor (72) | records
// Record:         status word (i32: serial > 0, or -serial when deleted) | fields at their offsets
// Auxiliary file: block 0 = header (32) + 480 zero bytes | blocks 1.. = block header (12) + 500 data
#pragma once
#include <cstddef>
#include <cstdint>

namespace database {

inline constexpr char kPlainMagic[4] = {'W', 'V', 'D', 'B'};
inline constexpr char kProtectedMagic[4] = {'W', 'C', 'D', 'B'};
inline constexpr char kAuxMagic[4] = {'W', 'V', 'D', 'T'};
inline constexpr int32_t kVersion = 0x10000;

#pragma pack(push, 1)

struct DbHeader {
  char magic[4];           // kPlainMagic or kProtectedMagic
  int32_t version;         // kVersion
  double created;          // date-time
  int32_t record_count;    // >= 0
  int32_t next_serial;     // >= 1
  int32_t record_length;   // 4 + the sum of the field sizes
  char digest[33];         // password digest, zero-terminated; zero in a plain file
  uint8_t reserved[51];
};
static_assert(sizeof(DbHeader) == 112);
static_assert(offsetof(DbHeader, version) == 4);
static_assert(offsetof(DbHeader, created) == 8);
static_assert(offsetof(DbHeader, record_count) == 16);
static_assert(offsetof(DbHeader, next_serial) == 20);
static_assert(offsetof(DbHeader, record_length) == 24);
static_assert(offsetof(DbHeader, digest) == 28);
static_assert(offsetof(DbHeader, reserved) == 61);

inline constexpr uint32_t kFieldCountOffset = sizeof(DbHeader);  // i32 field count
inline constexpr uint32_t kDescriptorsOffset = kFieldCountOffset + 4;

struct FieldDescriptor {
  char name[17];           // GBK, zero-terminated inside, zero-padded (at most 16 bytes of name)
  uint8_t reserved1[3];
  int32_t type;            // FieldType
  int32_t offset;          // inside the record; the first field is at 4
  int32_t text_size;       // declared size of a text field; 0 for the other types
  uint8_t reserved2[40];
};
static_assert(sizeof(FieldDescriptor) == 72);
static_assert(offsetof(FieldDescriptor, type) == 20);
static_assert(offsetof(FieldDescriptor, offset) == 24);
static_assert(offsetof(FieldDescriptor, text_size) == 28);

struct AuxHeader {
  char magic[4];           // kAuxMagic
  int32_t version;         // the database file's version
  double created;
  int32_t block_count;     // > 0; 1 in a new file (block 0 only)
  int32_t free_count;      // 0 <= value < block_count
  int32_t free_head;       // first block of the free list, 0 = empty
  int32_t reserved;
};
static_assert(sizeof(AuxHeader) == 32);
static_assert(offsetof(AuxHeader, block_count) == 16);
static_assert(offsetof(AuxHeader, free_count) == 20);
static_assert(offsetof(AuxHeader, free_head) == 24);

struct BlockHeader {
  int32_t previous;        // previous block of the chain or free list, 0 = none
  int32_t next;            // 0 = end of the chain
  int32_t used;            // 1..500 in a chain, 0 in a free block
};
static_assert(sizeof(BlockHeader) == 12);

#pragma pack(pop)

inline constexpr uint32_t kBlockSize = 512;
inline constexpr uint32_t kBlockData = kBlockSize - sizeof(BlockHeader);  // 500
inline constexpr int32_t kMaxFieldName = 16;
inline constexpr int32_t kMaxTextSize = 1024;

enum FieldType : int32_t {
  kByte = 1,
  kShort = 2,
  kInt = 3,
  kLong = 4,
  kFloat = 5,
  kDouble = 6,
  kBool = 7,
  kDateTime = 8,
  kSubPtr = 9,
  kText = 10,
  kBytes = 11,  // i32 first auxiliary block
  kMemo = 12,   // i32 first auxiliary block
};

inline bool valid_type(int32_t type) { return type >= kByte && type <= kMemo; }
inline bool numeric_type(int32_t type) { return type >= kByte && type <= kDouble; }
inline bool chained_type(int32_t type) { return type == kBytes || type == kMemo; }

// Bytes a field takes in the record (and in index keys); 0 for an invalid type.
inline int32_t field_size(int32_t type, int32_t text_size) {
  switch (type) {
    case kByte: case kBool: return 1;
    case kShort: return 2;
    case kLong: case kDouble: case kDateTime: return 8;
    case kInt: case kFloat: case kSubPtr: case kBytes: case kMemo: return 4;
    case kText: return text_size;
    default: return 0;
  }
}

}  // namespace database
