// Pages of an index file for one operation: a cache of at most 18 pages with dirty marks, the
// header copy, and the free page list (taking and freeing pages, cutting the file's end).
//
// A page pointer stays valid while fewer than 15 other pages have been asked for since: when
// a page must be added to a full cache, the three least recently used pages are written (if
// dirty) and dropped. When no other process can write the file, clean pages may stay between
// operations; the cache may then hold up to kKeptBytes of them (the pages a seek runs
// through stay in memory instead of being read again).
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>
#include "database/file.h"
#include "database/index_format.h"

namespace database {

inline constexpr int32_t kIndexPageError = -52;

// Little-endian fields of a page, read and written without alignment.
namespace page_bytes {
inline int32_t get32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void put32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }
// The page head through its stored layout (PageHead).
inline PageHead head_of(const uint8_t* p) {
  PageHead h;
  std::memcpy(&h, p, sizeof h);
  return h;
}
inline uint16_t flags_of(const uint8_t* p) { return head_of(p).flags; }
inline int32_t count_of(const uint8_t* p) { return head_of(p).count; }
inline void set_head(uint8_t* p, uint16_t flags, int32_t count) {
  PageHead h{flags, static_cast<int16_t>(count)};
  std::memcpy(p, &h, sizeof h);
}
// A free page: flags 2, no entries; its previous and next free pages at bytes 4 and 8.
inline bool is_free(const uint8_t* p) { return flags_of(p) == kFreePage && count_of(p) == 0; }
inline constexpr int kFreePrev = 4;
inline constexpr int kFreeNext = 8;
}  // namespace page_bytes

class IndexPager {
 public:
  static constexpr int32_t kSlots = 18;
  static constexpr int32_t kEvict = 3;
  static constexpr size_t kKeptBytes = size_t(8) << 20;

  IndexPager(DbFile& file, int32_t page_size);

  // Whether pages stay between operations; the cache grows to kKeptBytes when they do.
  void set_keep(bool keep);
  bool keep() const { return keep_; }

  // Starts an operation: reads the header unless a kept one is still good. 0 or an error.
  int32_t begin();
  // Ends it: on success writes the dirty pages, then the header if it changed, and cuts the
  // file when pages were cut off its end; on failure drops the changes still held. The cache
  // is dropped unless kept (and the operation succeeded).
  int32_t finish(int32_t rc);
  void drop();
  // Writes the dirty pages, then the header if it changed, and cuts the file if pages were cut
  // off its end; the operation goes on. 0 or the first error.
  int32_t write_out();
  // Forgets an error of an inner operation, so that the outer one goes on.
  void clear_error() { rc_ = 0; }

  IndexHeader& header() { return header_; }
  const IndexHeader& header() const { return header_; }

  // A page of the tree (1 .. page count - 1), read through the cache; null on failure with
  // the error in rc().
  uint8_t* page(int32_t n);
  // A page about to be rewritten whole: zero-filled without reading, marked dirty.
  uint8_t* fresh(int32_t n);
  void mark_dirty(int32_t n);
  int32_t rc() const { return rc_; }
  int32_t fail(int32_t code) { if (rc_ == 0) rc_ = code; return code; }

  // A page for the tree: the head of the free list, else a new page at the end. The page is
  // returned fresh (zeroed, dirty).
  uint8_t* take(int32_t* n);
  // Returns page n: cuts the file when it is the last page (with any free pages before it),
  // else pushes it on the free list.
  int32_t release(int32_t n);

  // Writes header and pages 0 and 1 of an empty tree and cuts the file to two pages.
  int32_t reset();

 private:
  struct Slot {
    int32_t page = 0;     // 0 = unused
    bool dirty = false;
    int32_t newer = -1;   // neighbours in the use order (slot numbers)
    int32_t older = -1;
    std::vector<uint8_t> data;
  };
  int32_t find(int32_t n);   // slot of page n, -1 when not held
  bool in_file(int32_t n);   // page n lies within the file (else the error is set)
  int32_t add(int32_t n);    // a slot for page n, evicting when full; -1 on failure
  void touch(int32_t i);     // most recently used
  void link_newest(int32_t i);
  void unlink(int32_t i);
  void forget(int32_t n);    // drops page n unwritten
  int32_t write_slot(Slot& s);
  int32_t unlink_free(int32_t n);

  DbFile& file_;
  int32_t page_size_;
  int32_t capacity_ = kSlots;
  bool keep_ = false;
  IndexHeader header_{};
  IndexHeader stored_{};     // the header as on disk
  bool header_valid_ = false;
  bool cut_ = false;         // pages were cut off the end
  int32_t rc_ = 0;
  std::vector<Slot> slots_;
  std::vector<int32_t> spare_;  // unused slots
  std::vector<int32_t> dirty_;  // slots marked dirty since the last write-out (may repeat)
  std::vector<int32_t> where_;  // slot of each page, -1 when not held; grows with the pages
  int32_t newest_ = -1, oldest_ = -1;
  int32_t held_ = 0;
  int32_t file_pages_ = 0;      // pages the file was last seen to hold (or will hold)
};

}  // namespace database
