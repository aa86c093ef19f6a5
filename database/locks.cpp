// Byte-range locks held through one open database, with counts and the database lock.
#include "database/locks.h"
#include <algorithm>
#include "database/lock_retry.h"

namespace database {

LockSet::Held* LockSet::find(int64_t offset) {
  for (Held& h : held_)
    if (h.offset == offset) return &h;
  return nullptr;
}

bool LockSet::holds(int64_t offset) const {
  for (const Held& h : held_)
    if (h.offset == offset) return true;
  return false;
}

bool LockSet::whole_held() const { return holds(kWholeFile); }

int32_t LockSet::lock(int64_t offset, int32_t retry_ms) {
  if (exclusive_count() > 0) return 0;
  if (offset < kWholeFile) return -28;
  if (Held* h = find(offset)) {
    ++h->count;
    return 0;
  }
  if (offset != kWholeFile) {
    if (!whole_held()) {
      int32_t rc = lock_with_retry(file_, static_cast<uint64_t>(offset), 1, retry_ms);
      if (rc) return rc;
    }
    held_.push_back({offset, 1});
    return 0;
  }
  // The whole file replaces the byte locks in the file (a range cannot be locked twice).
  for (const Held& h : held_) file_.unlock(static_cast<uint64_t>(h.offset), 1);
  int32_t rc = lock_with_retry(file_, 0, kLockSpan, retry_ms);
  if (rc) {
    for (const Held& h : held_) lock_with_retry(file_, static_cast<uint64_t>(h.offset), 1, retry_ms);
    return rc;
  }
  held_.push_back({kWholeFile, 1});
  return 0;
}

int32_t LockSet::unlock(int64_t offset) {
  if (exclusive_count() > 0) return 0;
  Held* h = find(offset);
  if (!h) return -29;
  if (--h->count > 0) return 0;
  held_.erase(held_.begin() + (h - held_.data()));
  if (offset == kWholeFile) {
    file_.unlock(0, kLockSpan);
    for (const Held& b : held_) lock_with_retry(file_, static_cast<uint64_t>(b.offset), 1, 0);
  } else if (!whole_held()) {
    file_.unlock(static_cast<uint64_t>(offset), 1);
  }
  return 0;
}

std::vector<std::pair<uint64_t, uint64_t>> LockSet::gaps() const {
  std::vector<std::pair<uint64_t, uint64_t>> out;
  if (whole_held()) return out;
  std::vector<uint64_t> bytes;
  for (const Held& h : held_) bytes.push_back(static_cast<uint64_t>(h.offset));
  std::sort(bytes.begin(), bytes.end());
  uint64_t from = 0;
  for (uint64_t b : bytes) {
    if (b >= kLockSpan) break;
    if (b > from) out.push_back({from, b - from});
    from = b + 1;
  }
  if (from < kLockSpan) out.push_back({from, kLockSpan - from});
  return out;
}

int32_t LockSet::lock_database(int32_t retry_ms) {
  if (exclusive_count() > 0) {
    ++depth_;
    return 0;
  }
  std::vector<std::pair<uint64_t, uint64_t>> ranges = gaps();
  for (size_t i = 0; i < ranges.size(); ++i) {
    int32_t rc = lock_with_retry(file_, ranges[i].first, ranges[i].second, retry_ms);
    if (rc) {
      while (i--) file_.unlock(ranges[i].first, ranges[i].second);
      return rc;
    }
  }
  db_ranges_ = std::move(ranges);
  db_locked_ = true;
  ++depth_;
  return 0;
}

int32_t LockSet::unlock_database() {
  if (depth_ <= 0) return -29;
  if (--depth_ == 0 && db_locked_) {
    for (const auto& r : db_ranges_) file_.unlock(r.first, r.second);
    db_ranges_.clear();
    db_locked_ = false;
  }
  return 0;
}

void LockSet::unlock_all() {
  if (exclusive_count() > 0) return;
  if (whole_held()) {
    file_.unlock(0, kLockSpan);
  } else {
    for (const Held& h : held_) file_.unlock(static_cast<uint64_t>(h.offset), 1);
  }
  held_.clear();
}

}  // namespace database

