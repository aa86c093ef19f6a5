// Records of an open database: the count under the count lock, navigation and skip, field
// reads and writes (with their type checks and the index updates of key fields), appending
// and the deleted mark.
#include <algorithm>
#include <cstring>
#include <new>
#include "database/chains.h"
#include "database/engine.h"
#include "database/indexes.h"
#include "database/lock_retry.h"
#include "database/names.h"
#include "database/values.h"

namespace database {

namespace {

constexpr int32_t kNoFile = -27, kNoField = -61, kNoRecord = -60;

// The count read waits at least 2 seconds for the count lock.
int32_t count_retry() {
  int32_t t = lock_retry_time();
  return (t < 2000) ? 2000 : t;
}

}  // namespace

std::string Database::field_name(int32_t f) const {
  const FieldDescriptor& d = field(f);
  return std::string(d.name, strnlen(d.name, sizeof d.name));
}

int32_t Database::field_size(int32_t f) const {
  const FieldDescriptor& d = field(f);
  return database::field_size(d.type, d.text_size);
}

int32_t Database::find_field(const std::string& name) const {
  for (int32_t f = 0; f < field_count(); ++f)
    if (same_name(field_name(f), name)) return f;
  return -1;
}

// --- locks on single bytes

int32_t Database::record_lock(int32_t record) {
  if (record < 0) return -28;
  return locks_.lock(static_cast<int64_t>(record_at(record)), lock_retry_time());
}

void Database::record_unlock(int32_t record) {
  if (record >= 0) locks_.unlock(static_cast<int64_t>(record_at(record)));
}

int32_t Database::count_lock() { return locks_.lock(kCountByte, lock_retry_time()); }
void Database::count_unlock() { locks_.unlock(kCountByte); }

int32_t Database::counts(int32_t* count, int32_t* next_serial) {
  *count = 0;
  if (next_serial) *next_serial = 1;
  if (!file_.is_open()) return kNoFile;
  int32_t rc = locks_.lock(kCountByte, count_retry());
  if (rc) return rc;
  int32_t serial = 1;
  rc = read_counts(count, &serial);
  count_unlock();
  if (next_serial) *next_serial = serial;
  return rc;
}

// The count and next serial, the count lock held. While no other process can open the file
// (share mode 4) they are kept in memory; otherwise they are read from the header.
int32_t Database::read_counts(int32_t* count, int32_t* next_serial) {
  if (counts_cached()) {
    *count = cached_count_;
    *next_serial = cached_serial_;
    return 0;
  }
  int32_t both[2] = {};
  int32_t rc = file_.read_exact(kCountByte, both, sizeof both, -65);
  if (rc) return rc;
  *count = std::max(both[0], 0);
  *next_serial = std::max(both[1], 1);
  note_counts(*count, *next_serial);
  return 0;
}

void Database::note_counts(int32_t count, int32_t next_serial) {
  if (share_ != 4) return;
  cached_count_ = count;
  cached_serial_ = next_serial;
}

int32_t Database::record_count(int32_t* count) { return counts(count, nullptr); }

// --- navigation

int32_t Database::go_first() {
  if (!file_.is_open()) return kNoFile;
  current_ = 0;
  return 0;
}

int32_t Database::go_last() {
  int32_t c = 0, rc = record_count(&c);
  if (rc) return rc;
  current_ = std::max(c - 1, 0);
  return 0;
}

int32_t Database::go_to(int32_t record) {
  int32_t c = 0, rc = record_count(&c);
  if (rc) return rc;
  current_ = c == 0 ? 0 : std::clamp(record, 0, c - 1);
  return 0;
}

int32_t Database::skip(int32_t n) {
  if (!file_.is_open()) return kNoFile;
  if (n == 0) return 0;
  int32_t c = 0, rc = record_count(&c);
  if (rc) return rc;
  if (n < 0 && (c == 0 || current_ < 0)) return -25;
  if (n > 0 && (c == 0 || current_ >= c)) return -26;
  int64_t to = std::min<int64_t>(c, int64_t(current_) + n);
  current_ = static_cast<int32_t>(std::max<int64_t>(to, -1));
  return 0;
}

int32_t Database::before_first(bool* out) {
  int32_t c = 0, rc = record_count(&c);
  *out = rc == 0 && (c == 0 || current_ < 0);
  return rc;
}

int32_t Database::after_last(bool* out) {
  int32_t c = 0, rc = record_count(&c);
  *out = rc == 0 && (c == 0 || current_ >= c);
  return rc;
}

// --- fields

int32_t Database::field_bytes(int32_t f, std::string& stored) {
  const FieldDescriptor& d = field(f);
  uint32_t size = static_cast<uint32_t>(field_size(f));
  if (scan_record_) {
    stored.assign(reinterpret_cast<const char*>(scan_record_) + d.offset, size);
    return 0;
  }
  int32_t rc = record_lock(current_);
  if (rc) return rc;
  stored.assign(size, '\0');
  uint32_t got = 0;
  rc = file_.read_at(record_at(current_) + uint32_t(d.offset), stored.data(), size, &got);
  record_unlock(current_);
  if (rc) return rc;
  if (got == 0) return -10;  // at or past the end of the file
  return got == size ? 0 : -46;
}

int32_t Database::read_stored(int32_t f, std::string& out) {
  out.clear();
  if (!file_.is_open()) return kNoFile;
  if (f < 0 || f >= field_count()) return kNoField;
  if (current_ < 0 && !scan_record_) return kNoRecord;
  try {
    std::string stored;
    int32_t rc = field_bytes(f, stored);
    if (rc) return rc;
    if (!chained_type(field(f).type)) {
      out = std::move(stored);
      return 0;
    }
    int32_t first = 0;
    std::memcpy(&first, stored.data(), 4);
    if (first != 0 && !aux_.is_open()) return -46;
    rc = read_chain(aux_, first, out);
    if (rc) out.clear();
    return rc;
  } catch (const std::bad_alloc&) {
    out.clear();
    return -45;
  }
}

int32_t Database::read_field(int32_t f, Value& out) {
  out = Value{};
  if (f >= 0 && f < field_count()) out.type = field(f).type;
  std::string stored;
  int32_t rc = read_stored(f, stored);
  if (rc) return rc;
  out = value_from_stored(field(f), stored);
  return 0;
}

int32_t Database::write_field(int32_t f, const Value& v) {
  if (!file_.is_open()) return kNoFile;
  if (f < 0 || f >= field_count()) return kNoField;
  if (current_ < 0) return kNoRecord;
  std::string stored;
  int32_t rc = stored_from_value(field(f), v, stored);
  if (rc) return rc;
  return write_stored(f, stored.data(), static_cast<uint32_t>(stored.size()));
}

int32_t Database::write_stored(int32_t f, const void* data, uint32_t n) {
  if (!file_.is_open()) return kNoFile;
  if (f < 0 || f >= field_count()) return kNoField;
  if (current_ < 0) return kNoRecord;
  int32_t rc = record_lock(current_);
  if (rc) return rc;
  try {
    rc = write_locked(f, std::string(static_cast<const char*>(data), n));
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  record_unlock(current_);
  return rc;
}

// The write of one field, the record lock held.
int32_t Database::write_locked(int32_t f, const std::string& value) {
  const FieldDescriptor& d = field(f);
  uint32_t size = static_cast<uint32_t>(field_size(f));
  uint64_t at = record_at(current_);
  uint64_t length = 0;
  int32_t rc = file_.size(&length);
  if (rc) return rc;
  if (at + uint32_t(d.offset) + size > length) return kNoRecord;

  std::string stored;
  if (chained_type(d.type)) {
    if (!aux_.is_open()) return -47;
    int32_t old_first = 0, first = 0;
    if ((rc = file_.read_exact(at + uint32_t(d.offset), &old_first, 4, -47))) return rc;
    uint32_t n = static_cast<uint32_t>(value.size());
    if (d.type == kMemo) n = static_cast<uint32_t>(strnlen(value.data(), value.size()));
    if ((rc = write_chain(aux_, value.data(), n, old_first, &first))) return rc;
    stored.assign(reinterpret_cast<const char*>(&first), 4);
  } else {
    stored = value.substr(0, size);
    stored.resize(size, '\0');
  }

  bool keyed = false;
  for (const auto& index : indexes_)
    for (int32_t p = 0; p < index->tree.key().shape.count; ++p)
      keyed = keyed || index->tree.key().fields[p] == f;
  if (!keyed) return file_.write_at(at + uint32_t(d.offset), stored.data(), size);

  // A key field: nothing is written when the bytes stay the same; else every index that
  // uses the field moves the record's entry.
  std::string before(static_cast<size_t>(record_length()), '\0');
  if ((rc = file_.read_exact(at, before.data(), static_cast<uint32_t>(before.size()), -46))) return rc;
  if (std::memcmp(before.data() + d.offset, stored.data(), size) == 0) return 0;
  std::string after = before;
  std::memcpy(after.data() + d.offset, stored.data(), size);
  if ((rc = file_.write_at(at + uint32_t(d.offset), stored.data(), size))) return rc;
  return update_keys(f, reinterpret_cast<const uint8_t*>(before.data()),
                     reinterpret_cast<const uint8_t*>(after.data()), current_);
}

int32_t Database::update_keys(int32_t f, const uint8_t* old_record, const uint8_t* new_record, int32_t record) {
  int32_t result = 0;
  for (const auto& index : indexes_) {
    const IndexKey& k = index->tree.key();
    bool uses = false;
    for (int32_t p = 0; p < k.shape.count; ++p) uses = uses || k.fields[p] == f;
    if (!uses) continue;
    uint8_t old_key[kMaxKeyLength], new_key[kMaxKeyLength];
    index->tree.key_of_record(old_record, old_key);
    index->tree.key_of_record(new_record, new_key);
    if (int32_t rc = index->tree.update(old_key, new_key, record)) result = rc;
  }
  return result;
}

int32_t Database::insert_keys(int32_t record, const uint8_t* bytes) {
  int32_t result = 0;
  for (const auto& index : indexes_) {
    uint8_t key[kMaxKeyLength];
    index->tree.key_of_record(bytes, key);
    if (int32_t rc = index->tree.insert(key, record)) result = rc;
  }
  return result;
}

int32_t Database::append_to_field(int32_t f, const std::string& data, bool memo) {
  if (!file_.is_open()) return kNoFile;
  if (f < 0 || f >= field_count()) return -40;
  if (field(f).type != (memo ? kMemo : kBytes)) return -70;
  if (current_ < 0) return kNoRecord;
  std::string add = memo ? data.substr(0, strnlen(data.data(), data.size())) : data;
  if (add.empty()) return 0;
  int32_t rc = record_lock(current_);
  if (rc) return rc;
  try {
    // The value is read and written whole: the chain writer reuses its blocks in order, so
    // only the tail past the old value's last block costs new blocks.
    std::string value;
    int32_t first = 0;
    uint64_t at = record_at(current_) + uint32_t(field(f).offset);
    rc = file_.read_exact(at, &first, 4, -62);
    if (rc == 0 && !aux_.is_open()) rc = -59;
    if (rc == 0) rc = read_chain(aux_, first, value);
    if (rc == 0) {
      value += add;
      int32_t now = 0;
      rc = write_chain(aux_, value.data(), static_cast<uint32_t>(value.size()), first, &now);
      if (rc == 0 && now != first) rc = file_.write_at(at, &now, 4);
    }
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  record_unlock(current_);
  return rc;
}

int32_t Database::read_record(std::string& out) {
  out.clear();
  if (!file_.is_open()) return kNoFile;
  if (current_ < 0) return kNoRecord;
  if (scan_record_) {
    out.assign(reinterpret_cast<const char*>(scan_record_), static_cast<size_t>(record_length()));
    return 0;
  }
  int32_t rc = record_lock(current_);
  if (rc) return rc;
  try {
    out.assign(static_cast<size_t>(record_length()), '\0');
    rc = file_.read_exact(record_at(current_), out.data(), static_cast<uint32_t>(out.size()), -62);
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  record_unlock(current_);
  if (rc) out.clear();
  return rc;
}

int32_t Database::serial(int32_t* out) {
  *out = 0;
  if (!file_.is_open()) return kNoFile;
  if (current_ < 0 && !scan_record_) return kNoRecord;
  int32_t status = 0;
  if (scan_record_) {
    std::memcpy(&status, scan_record_, 4);
  } else {
    int32_t rc = record_lock(current_);
    if (rc) return rc;
    rc = file_.read_exact(record_at(current_), &status, 4, kNoRecord);
    record_unlock(current_);
    if (rc) return rc;
  }
  *out = status < 0 ? -status : status;
  return 0;
}

int32_t Database::is_deleted(bool* out) {
  *out = false;
  if (!file_.is_open()) return kNoFile;
  if (current_ < 0 && !scan_record_) return kNoRecord;
  int32_t status = 0;
  if (scan_record_) {
    std::memcpy(&status, scan_record_, 4);
  } else {
    int32_t rc = record_lock(current_);
    if (rc) return rc;
    rc = file_.read_exact(record_at(current_), &status, 4, kNoRecord);
    record_unlock(current_);
    if (rc) return rc;
  }
  *out = status < 0;
  return 0;
}

// --- appending and the deleted mark

int32_t Database::append_blank() { return append_record(nullptr); }

int32_t Database::append_values(const std::vector<Value>& values) {
  if (!file_.is_open()) return kNoFile;
  // Every value is checked before the record is added: a value of the wrong type adds nothing.
  std::vector<std::string> stored(std::min(values.size(), static_cast<size_t>(field_count())));
  for (size_t f = 0; f < stored.size(); ++f)
    if (int32_t rc = stored_from_value(field(static_cast<int32_t>(f)), values[f], stored[f])) return rc;
  return append_record(&stored);
}

// Appends one record whose fields hold `stored` (in field order, memo and byte-set values as
// values; null or missing: zero). Memo and byte-set chains are written first, then the whole
// record in one write, then the count: a process that dies in between leaves unused blocks or
// a trailing record the next open cuts, never a count that runs past the records. Each index
// gets the record's final key once.
int32_t Database::append_record(const std::vector<std::string>* stored) {
  if (!file_.is_open()) return kNoFile;
  int32_t rc = count_lock();
  if (rc) return rc;
  int32_t count = 0, serial = 1;
  rc = read_counts(&count, &serial);
  if (rc == 0 && (count == INT32_MAX || serial == INT32_MAX)) rc = -63;
  if (rc == 0) rc = record_lock(count);
  if (rc) {
    count_unlock();
    return rc;
  }
  std::vector<int32_t> chains;
  try {
    uint64_t at = record_at(count), length = at;
    if (!counts_cached()) rc = file_.size(&length);
    if (rc == 0 && length < at) rc = -10;
    std::string record(static_cast<size_t>(record_length()), '\0');
    std::memcpy(record.data(), &serial, 4);
    for (size_t f = 0; rc == 0 && stored && f < stored->size(); ++f) {
      const FieldDescriptor& d = field(static_cast<int32_t>(f));
      const std::string& v = (*stored)[f];
      if (!chained_type(d.type)) {
        std::memcpy(record.data() + d.offset, v.data(), std::min<size_t>(v.size(), size_t(field_size(int32_t(f)))));
        continue;
      }
      if (v.empty()) continue;
      int32_t first = 0;
      if (!aux_.is_open()) rc = -63;
      else rc = write_chain(aux_, v.data(), static_cast<uint32_t>(v.size()), 0, &first);
      if (rc == 0) chains.push_back(first);
      std::memcpy(record.data() + d.offset, &first, 4);
    }
    if (rc == 0) rc = file_.write_at(at, record.data(), static_cast<uint32_t>(record.size()));
    int32_t next[2] = {count + 1, serial + 1};
    if (rc == 0) rc = file_.write_at(kCountByte, next, sizeof next);
    if (rc == 0) {
      note_counts(count + 1, serial + 1);
      current_ = count;
      chains.clear();
      rc = insert_keys(count, reinterpret_cast<const uint8_t*>(record.data()));
    }
  } catch (const std::bad_alloc&) {
    rc = -45;
  }
  for (int32_t first : chains) release_chain(aux_, first);  // the record was not added
  record_unlock(count);
  count_unlock();
  return rc;
}

int32_t Database::set_status(int32_t record, bool deleted, const int32_t* known) {
  int32_t status = 0;
  int32_t rc = 0;
  if (known) status = *known;
  else if ((rc = file_.read_exact(record_at(record), &status, 4, kNoRecord))) return rc;
  if ((deleted && status > 0) || (!deleted && status < 0)) {
    status = -status;
    rc = file_.write_at(record_at(record), &status, 4);
  }
  return rc;
}

int32_t Database::set_deleted(bool deleted) {
  if (!file_.is_open()) return kNoFile;
  if (current_ < 0) return kNoRecord;
  int32_t rc = record_lock(current_);
  if (rc) return rc;
  rc = set_status(current_, deleted, nullptr);
  record_unlock(current_);
  return rc;
}

}  // namespace database
