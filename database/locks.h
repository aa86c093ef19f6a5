// The byte-range locks one open database holds in its file: whole file, single bytes (a
// record's first byte, the count at offset 16), each with a count of nested requests, and the
// database lock that takes every byte not already held. While the database is exclusive
// (opened deny-read-and-write, or inside a database lock) requests succeed without touching
// the file.
#pragma once
#include <cstdint>
#include <vector>
#include "database/file.h"

namespace database {

inline constexpr int64_t kWholeFile = -1;        // the offset that stands for the whole file
inline constexpr uint64_t kLockSpan = 0x7FFFFFFF;  // bytes of the whole-file lock
inline constexpr int64_t kCountByte = 16;          // the record count in the header

class LockSet {
 public:
  explicit LockSet(DbFile& file) : file_(file) {}

  // 1 when the file was opened deny-read-and-write.
  void set_exclusive_open(bool exclusive) { exclusive_open_ = exclusive ? 1 : 0; }
  // The exclusive open plus the database lock depth: while above 0 nothing is locked.
  int32_t exclusive_count() const { return exclusive_open_ + depth_; }

  // `offset` is a byte offset or kWholeFile. `retry_ms` is the retry time to use.
  int32_t lock(int64_t offset, int32_t retry_ms);
  // -29 when the lock is not held.
  int32_t unlock(int64_t offset);
  int32_t lock_database(int32_t retry_ms);
  int32_t unlock_database();
  // Releases every lock held (nothing inside a database lock).
  void unlock_all();
  bool holds(int64_t offset) const;

 private:
  struct Held {
    int64_t offset;  // kWholeFile or a byte
    int32_t count;
  };
  Held* find(int64_t offset);
  bool whole_held() const;
  // The gaps of [0, kLockSpan) between the held bytes, taken by the database lock.
  std::vector<std::pair<uint64_t, uint64_t>> gaps() const;

  DbFile& file_;
  int32_t exclusive_open_ = 0;  // 1 when opened deny-read-and-write
  int32_t depth_ = 0;           // nesting of the database lock
  bool db_locked_ = false;      // the database lock's ranges are taken in the file
  std::vector<std::pair<uint64_t, uint64_t>> db_ranges_;
  std::vector<Held> held_;
};

}  // namespace database
