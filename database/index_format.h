// Stored layout of an index file: a B+tree of pages of P bytes (P = 512 x 1..100). Page 0
// holds the 224-byte header; the root starts as page 1.
//
// Page: flags (u16: 0 leaf, 1 branch, 2 free) | count n (i16) | n x {record or child (i32), K
// key bytes} | in a branch, the last child (i32). A free page keeps its previous and next free
// page at bytes 4 and 8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace database {

inline constexpr char kIndexMagic[4] = {'W', 'V', 'N', 'X'};
inline constexpr int32_t kMaxKeyParts = 8;
inline constexpr int32_t kMaxKeyLength = 80;
inline constexpr int32_t kMinPageSize = 512;

#pragma pack(push, 1)

struct IndexHeader {
  char magic[4];
  int32_t version;
  double created;
  int32_t sort_mode;        // 0 bytes, 1 pronunciation, 2 pronunciation with remapped codes
  int32_t key_flags;        // bit 0 ignore ASCII case, bit 1 ignore spaces
  int32_t page_count;       // >= 2, page 0 included
  int32_t free_count;
  int32_t free_head;
  int32_t root;
  int32_t page_size;        // P
  int32_t key_length;       // K, 1..80
  int32_t part_count;       // 1..8
  char names[kMaxKeyParts][17];
  int32_t types[kMaxKeyParts];  // field type 1..9, or the negated size of a text field
  int32_t reserved;
};
static_assert(sizeof(IndexHeader) == 224);
static_assert(offsetof(IndexHeader, sort_mode) == 16);
static_assert(offsetof(IndexHeader, page_count) == 24);
static_assert(offsetof(IndexHeader, root) == 36);
static_assert(offsetof(IndexHeader, page_size) == 40);
static_assert(offsetof(IndexHeader, key_length) == 44);
static_assert(offsetof(IndexHeader, part_count) == 48);
static_assert(offsetof(IndexHeader, names) == 52);
static_assert(offsetof(IndexHeader, types) == 188);
static_assert(offsetof(IndexHeader, reserved) == 220);

struct PageHead {
  uint16_t flags;
  int16_t count;
};
static_assert(sizeof(PageHead) == 4);

#pragma pack(pop)

enum : uint16_t { kLeafPage = 0, kBranchPage = 1, kFreePage = 2 };

// Entries a page holds, and its minimum fill.
inline int32_t max_entries(int32_t page_size, int32_t key_length) { return (page_size - 8) / (key_length + 4); }
inline int32_t min_entries(int32_t page_size, int32_t key_length) { return max_entries(page_size, key_length) / 2; }

// The parts of a key: each part's stored type (text as its negated size) in key order.
struct KeyShape {
  int32_t count = 0;
  int32_t types[kMaxKeyParts] = {};
  int32_t size(int32_t part) const;  // bytes of part `part`
  int32_t length() const;            // K
};

// Orders two keys of `shape` part by part: negative, 0 or positive. Numbers by value (floats
// and doubles numerically, logical zero before non-zero), pointers unsigned, texts as GBK
// strings up to their first zero byte, a double-byte character one unit.
int compare_keys(const KeyShape& shape, const uint8_t* a, const uint8_t* b);

// Checks an index header against its own rules (the field checks come with the database):
// 0, or -31 for a header that is no index, -49 when the file is shorter than its page count.
int32_t check_index_header(const IndexHeader& h, uint64_t file_length, KeyShape* shape);

}  // namespace database
