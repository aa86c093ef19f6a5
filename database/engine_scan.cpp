// Whole-database work: scans in batches under the database lock (conditions, aggregates,
// delete by condition), search by condition and by serial, pack and clear.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>
#include "database/chains.h"
#include "database/engine.h"
#include "database/indexes.h"

namespace database {

namespace {

constexpr uint32_t kBatchBytes = 163840;

int32_t status_of(const uint8_t* record) {
  int32_t s;
  std::memcpy(&s, record, 4);
  return s;
}

// Holds the database lock for one scope.
class DatabaseLock {
 public:
  explicit DatabaseLock(Database& db) : db_(db), rc_(db.lock_database()) {}
  ~DatabaseLock() {
    if (rc_ == 0) db_.unlock_database();
  }
  int32_t result() const { return rc_; }

 private:
  Database& db_;
  int32_t rc_;
};

}  // namespace

int32_t Database::scan(const Visit& visit, bool keep_current) {
  if (!file_.is_open()) return -27;
  DatabaseLock lock(*this);
  if (lock.result()) return lock.result();
  int32_t count = 0, rc = record_count(&count);
  if (rc) return rc;
  const uint32_t length = static_cast<uint32_t>(record_length());
  const int32_t batch = static_cast<int32_t>(std::max<uint32_t>(1, kBatchBytes / length));
  int32_t saved = current_;
  try {
    std::vector<uint8_t> buf(size_t(batch) * length);
    bool stop = false;
    for (int32_t first = 0; first < count && !stop && rc == 0; first += batch) {
      int32_t n = std::min(batch, count - first);
      rc = file_.read_exact(record_at(first), buf.data(), uint32_t(n) * length, -62);
      for (int32_t i = 0; i < n && rc == 0 && !stop; ++i) {
        scan_record_ = buf.data() + size_t(i) * length;
        current_ = first + i;
        int32_t answer = visit(first + i);
        if (answer == 1) stop = true;
        else rc = answer;
      }
      scan_record_ = nullptr;
    }
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  scan_record_ = nullptr;
  if (!keep_current) current_ = saved;
  return rc;
}

int32_t Database::set_deleted_where(bool deleted, const Test& test) {
  return scan([&](int32_t record) {
    bool match = false;
    if (int32_t rc = test(&match)) return rc;
    if (!match) return 0;
    int32_t status = status_of(scan_record_);
    return set_status(record, deleted, &status);
  });
}

int32_t Database::find(const Test& test, bool* found) {
  *found = false;
  if (!file_.is_open()) return -27;
  int32_t rc = count_lock();
  if (rc) return rc;
  int32_t count = 0;
  int32_t saved = current_;
  try {
    rc = record_count(&count);
    std::vector<uint8_t> buf(static_cast<size_t>(record_length()));
    for (int32_t r = std::max(current_, 0); rc == 0 && r < count && !*found; ++r) {
      if ((rc = record_lock(r))) break;
      rc = file_.read_exact(record_at(r), buf.data(), static_cast<uint32_t>(buf.size()), -62);
      if (rc == 0) {
        scan_record_ = buf.data();
        current_ = r;
        bool match = false;
        rc = test(&match);
        scan_record_ = nullptr;
        *found = rc == 0 && match;
      }
      record_unlock(r);
    }
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  scan_record_ = nullptr;
  if (!*found) current_ = saved;
  count_unlock();
  return rc;
}

int32_t Database::find_serial(int32_t serial, bool go, bool* found) {
  *found = false;
  if (!file_.is_open()) return -27;
  if (serial <= 0) return 0;
  int32_t rc = count_lock();
  if (rc) return rc;
  int32_t count = 0;
  rc = record_count(&count);
  // Serials grow with the record position, deleted records included.
  int32_t low = 0, high = count - 1;
  while (rc == 0 && low <= high) {
    int32_t mid = low + (high - low) / 2, status = 0;
    if ((rc = record_lock(mid))) break;
    rc = file_.read_exact(record_at(mid), &status, 4, -62);
    record_unlock(mid);
    int32_t s = status < 0 ? -status : status;
    if (rc) break;
    if (s == serial) {
      *found = true;
      if (go) current_ = mid;
      break;
    }
    if (s < serial) low = mid + 1;
    else high = mid - 1;
  }
  count_unlock();
  return rc;
}

// Moves the kept records down over the dropped ones, batch by batch (the write position never
// passes the read position), then writes the count and cuts the file. The dropped records'
// memo and byte-set chains are released last: a process that dies before that leaves unused
// blocks, never a kept record pointing at freed ones.
int32_t Database::drop_records(const std::function<bool(int32_t, const uint8_t*)>& drop) {
  if (!file_.is_open()) return -27;
  DatabaseLock lock(*this);
  if (lock.result()) return lock.result();
  int32_t count = 0, rc = record_count(&count);
  if (rc) return rc;
  const uint32_t length = static_cast<uint32_t>(record_length());
  const int32_t batch = static_cast<int32_t>(std::max<uint32_t>(1, kBatchBytes / length));
  std::vector<int32_t> chains;
  int32_t kept = 0;
  try {
    std::vector<uint8_t> buf(size_t(batch) * length);
    for (int32_t first = 0; first < count && rc == 0; first += batch) {
      int32_t n = std::min(batch, count - first), keep = 0;
      if ((rc = file_.read_exact(record_at(first), buf.data(), uint32_t(n) * length, -62))) break;
      for (int32_t i = 0; i < n; ++i) {
        uint8_t* r = buf.data() + size_t(i) * length;
        if (drop(first + i, r)) {
          for (const FieldDescriptor& d : layout_.fields) {
            int32_t block = 0;
            if (chained_type(d.type)) std::memcpy(&block, r + d.offset, 4);
            if (block > 0) chains.push_back(block);
          }
          continue;
        }
        if (keep != i) std::memmove(buf.data() + size_t(keep) * length, r, length);
        ++keep;
      }
      if (keep && !(kept == first && keep == n))
        rc = file_.write_at(record_at(kept), buf.data(), uint32_t(keep) * length);
      kept += keep;
    }
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  if (rc) return rc;
  current_ = 0;
  if (kept == count) return 0;
  forget_counts();
  if ((rc = file_.write_at(kCountByte, &kept, 4))) return rc;
  if ((rc = file_.set_size(record_at(kept)))) return rc;
  for (int32_t block : chains)
    if (aux_.is_open() && (rc = release_chain(aux_, block))) return rc;
  return rebuild_indexes();
}

int32_t Database::pack() {
  return drop_records([](int32_t, const uint8_t* r) { return status_of(r) < 0; });
}

int32_t Database::pack_range(int32_t start, int32_t n) {
  if (n <= 0) return file_.is_open() ? 0 : -27;
  int64_t end = int64_t(start) + n;
  return drop_records([&](int32_t record, const uint8_t*) { return record >= start && record < end; });
}

int32_t Database::clear() {
  if (!file_.is_open()) return -27;
  DatabaseLock lock(*this);
  if (lock.result()) return lock.result();
  int32_t zero = 0;
  forget_counts();
  int32_t rc = file_.write_at(kCountByte, &zero, 4);
  if (rc == 0) rc = file_.set_size(layout_.data_start);
  if (rc == 0 && aux_.is_open()) {
    int32_t fresh[3] = {1, 0, 0};  // block count, free count, free head
    rc = aux_.write_at(offsetof(AuxHeader, block_count), fresh, sizeof fresh);
    if (rc == 0) rc = aux_.set_size(kBlockSize);
  }
  for (const auto& index : indexes_)
    if (rc == 0) rc = index->tree.clear();
  current_ = 0;
  return rc;
}

}  // namespace database
