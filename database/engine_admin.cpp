// Locks, passwords, field renaming and flushing of an open database.
#include <algorithm>
#include <cstring>
#include "database/engine.h"
#include "database/index_format.h"
#include "database/indexes.h"
#include "database/lock_retry.h"
#include "database/names.h"
#include "database/registry.h"

namespace database {

int32_t Database::lock_database() {
  if (!file_.is_open()) return -27;
  return locks_.lock_database(lock_retry_time());
}

int32_t Database::unlock_database() {
  if (!file_.is_open()) return -27;
  return locks_.unlock_database();
}

int32_t Database::lock_count() { return file_.is_open() ? count_lock() : -27; }

int32_t Database::unlock_count() { return file_.is_open() ? locks_.unlock(kCountByte) : -27; }

int32_t Database::lock_record(int32_t record) {
  if (!file_.is_open()) return -27;
  return record < 0 ? -28 : record_lock(record);
}

int32_t Database::unlock_record(int32_t record) {
  if (!file_.is_open()) return -27;
  return record < 0 ? -29 : locks_.unlock(static_cast<int64_t>(record_at(record)));
}

int32_t Database::unlock_all() {
  if (!file_.is_open()) return -27;
  locks_.unlock_all();
  return 0;
}

// Writes the magic and the digest of `c`'s password through the file's new state.
int32_t Database::write_password(const PageCipher& c) {
  const char* magic = c.on ? kProtectedMagic : kPlainMagic;
  char digest[36] = {};
  if (c.on) std::memcpy(digest, c.digest.data(), std::min<size_t>(c.digest.size(), 32));
  int32_t rc = file_.write_at(0, magic, 4);
  if (rc == 0) rc = file_.write_at(offsetof(DbHeader, digest), digest, sizeof digest);
  if (rc) return -79;
  std::memcpy(layout_.header.magic, magic, 4);
  std::memcpy(layout_.header.digest, digest, sizeof layout_.header.digest);
  return 0;
}

namespace {

// Re-enciphers the database file and the auxiliary file under `next`; when the second
// fails, the first goes back to its old key, so both files stay readable with one password.
int32_t rekey(DbFile& db, DbFile& aux, const PageCipher& next) {
  PageCipher old_db = db.cipher();
  if (db.change_cipher(next)) return -79;
  if (aux.is_open() && aux.change_cipher(next)) {
    db.change_cipher(old_db);
    return -79;
  }
  return 0;
}

}  // namespace

int32_t Database::set_password(const std::string& password) {
  if (!file_.is_open()) return -27;
  if (password == "?") return -80;
  if (read_only_) return -6;
  int32_t rc = lock_database();
  if (rc) return rc;
  PageCipher next;
  next.set(password, 4);
  rc = rekey(file_, aux_, next);
  if (rc == 0) rc = write_password(next);
  unlock_database();
  return rc;
}

int32_t Database::copy_password(Database& from) {
  if (!file_.is_open()) return -27;
  if (!from.file_.is_open()) return -66;
  if (read_only_) return -6;
  int32_t rc = lock_database();
  if (rc) return rc;
  PageCipher next = from.file_.cipher();
  next.start = 4;
  rc = rekey(file_, aux_, next);
  if (rc == 0) rc = write_password(next);
  unlock_database();
  return rc;
}

int32_t Database::rename_field(int32_t f, const std::string& name) {
  if (!file_.is_open()) return -27;
  if (locks_.exclusive_count() <= 0) return -74;
  if (f < 0 || f >= field_count()) return -61;
  if (name == field_name(f)) return 0;
  if (name.empty() || name.size() > static_cast<size_t>(kMaxFieldName)) return -18;
  for (int32_t other = 0; other < field_count(); ++other)
    if (other != f && same_name(field_name(other), name)) return -20;
  char stored[17] = {};
  std::memcpy(stored, name.data(), name.size());
  uint64_t at = kDescriptorsOffset + uint64_t(f) * sizeof(FieldDescriptor);
  if (int32_t rc = file_.write_at(at, stored, sizeof stored)) return rc;
  std::memcpy(layout_.fields[static_cast<size_t>(f)].name, stored, sizeof stored);
  return rename_in_indexes(f, stored);
}

// The index files that use field f name it in their headers: each is closed, its key part's
// name rewritten, and opened again against the renamed fields (else the next open with that
// index would no longer find the field).
int32_t Database::rename_in_indexes(int32_t f, const char (&stored)[17]) {
  int32_t result = 0;
  for (const auto& index : indexes_) {
    const IndexKey k = index->tree.key();
    bool uses = false;
    for (int32_t p = 0; p < k.shape.count; ++p) uses = uses || k.fields[p] == f;
    if (!uses) continue;
    index->tree.close();
    int32_t rc = 0;
    {
      DbFile raw;
      rc = raw.open(index->path, true, Share::kAll);
      for (int32_t p = 0; rc == 0 && p < k.shape.count; ++p)
        if (k.fields[p] == f) rc = raw.write_at(offsetof(IndexHeader, names) + 17u * uint32_t(p), stored, 17);
    }
    int32_t reopened = index->tree.open(index->path, !read_only_, share_of(share_), layout_.fields, version());
    if (rc == 0) rc = reopened;
    if (rc) result = rc;
  }
  return result;
}

int32_t Database::flush() {
  if (!file_.is_open()) return -27;
  int32_t rc = file_.flush();
  if (aux_.is_open()) {
    int32_t a = aux_.flush();
    if (rc == 0) rc = a;
  }
  for (const auto& index : indexes_) {
    int32_t i = index->tree.flush();
    if (rc == 0) rc = i;
  }
  return rc;
}

}  // namespace database
