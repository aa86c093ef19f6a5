// Header, password, descriptor and length checks of an opened database.
#include "database/validate.h"
#include <cstring>
#include "database/cipher.h"
#include "database/lock_retry.h"

namespace database {

namespace {

constexpr int32_t kNotDatabase = -22;
constexpr int32_t kWrongPassword = -78;

bool digest_matches(const DbHeader& h, const std::string& password) {
  std::string want = password_digest(password);
  size_t n = strnlen(h.digest, sizeof h.digest);
  if (n != want.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = h.digest[i], b = want[i];
    if (a >= 'A' && a <= 'Z') a += 32;
    if (a != b) return false;
  }
  return true;
}

// Keys the cipher with `password` and reads the header through it.
int32_t read_protected(DbFile& db, const std::string& password, DbHeader& h) {
  if (password.empty()) return kWrongPassword;
  db.set_cipher(password, 4);
  if (db.read_exact(0, &h, sizeof h, kNotDatabase)) return kNotDatabase;
  return digest_matches(h, password) ? 0 : kWrongPassword;
}

}  // namespace

int32_t validate_database(DbFile& db, bool writable, const std::string& password, Layout& out,
                          AskPassword ask) {
  DbHeader& h = out.header;
  db.set_cipher("", 4);
  if (db.read_exact(0, &h, sizeof h, kNotDatabase)) return kNotDatabase;
  if (std::memcmp(h.magic, kPlainMagic, 4) == 0) {
    if (!password.empty() && password != "?") return kWrongPassword;
  } else if (std::memcmp(h.magic, kProtectedMagic, 4) == 0) {
    int32_t rc = kWrongPassword;
    if (password != "?") {
      rc = read_protected(db, password, h);
    } else {
      for (int attempt = 0; attempt < 3 && rc != 0; ++attempt) {
        std::string entered;
        if (!ask || !ask(attempt, entered)) break;  // cancelled: no more attempts
        rc = read_protected(db, entered, h);
      }
    }
    if (rc) {
      db.set_cipher("", 4);
      return rc;
    }
  } else {
    return kNotDatabase;
  }
  if (h.record_length <= 0 || h.record_count < 0 || h.next_serial < 1) return kNotDatabase;
  if (h.version > kVersion) return -23;

  int32_t count = 0;
  if (db.read_exact(kFieldCountOffset, &count, 4, kNotDatabase) || count <= 0) return kNotDatabase;
  // A count the file cannot hold is refused before anything is allocated for it.
  uint64_t length = 0;
  if (db.size(&length)) return kNotDatabase;
  if (static_cast<uint64_t>(count) * sizeof(FieldDescriptor) > length) return kNotDatabase;
  out.fields.assign(static_cast<size_t>(count), FieldDescriptor{});
  if (db.read_exact(kDescriptorsOffset, out.fields.data(), static_cast<uint32_t>(count * sizeof(FieldDescriptor)),
                    kNotDatabase))
    return kNotDatabase;
  out.needs_aux = false;
  for (const FieldDescriptor& d : out.fields) {
    if (strnlen(d.name, sizeof d.name) == sizeof d.name || d.offset < 0 || !valid_type(d.type) ||
        (d.type == kText && d.text_size <= 0))
      return kNotDatabase;
    // A field must lie inside the record: record buffers are sized by the record length.
    int64_t end = int64_t(d.offset) + field_size(d.type, d.text_size);
    if (d.offset < 4 || end > h.record_length) return kNotDatabase;
    out.needs_aux = out.needs_aux || chained_type(d.type);
  }
  out.data_start = kDescriptorsOffset + static_cast<uint32_t>(count) * sizeof(FieldDescriptor);

  uint64_t present = length > out.data_start ? (length - out.data_start) / uint32_t(h.record_length) : 0;
  if (present < static_cast<uint64_t>(h.record_count)) {
    if (!writable) return -48;
    h.record_count = static_cast<int32_t>(present);
    if (db.write_at(offsetof(DbHeader, record_count), &h.record_count, 4)) return kNotDatabase;
  }
  if (writable) {
    uint64_t whole = out.data_start + uint64_t(h.record_count) * uint32_t(h.record_length);
    if (whole != length && db.set_size(whole)) return kNotDatabase;
  }
  return 0;
}

int32_t validate_aux(DbFile& aux, bool writable, int32_t version) {
  constexpr int32_t kBadAux = -35;
  uint64_t length = 0;
  if (aux.size(&length)) return kBadAux;
  // Another process may be writing a chain: the check waits for the file like every lock.
  if (int32_t rc = lock_with_retry(aux, 0, length ? length : 1, lock_retry_time())) return rc;
  AuxHeader a{};
  int32_t rc = 0;
  if (aux.read_exact(0, &a, sizeof a, kBadAux) || std::memcmp(a.magic, kAuxMagic, 4) != 0 ||
      a.block_count <= 0 || a.free_count < 0 || a.free_count >= a.block_count || a.free_head < 0 ||
      a.free_head >= a.block_count) {
    rc = kBadAux;
  } else if (a.version != version) {
    rc = -36;
  } else if (length / kBlockSize < static_cast<uint64_t>(a.block_count)) {
    if (!writable) {
      rc = -37;
    } else {
      a.block_count = static_cast<int32_t>(length / kBlockSize);
      // The free list may point past the new end: a list that no longer fits starts empty.
      if (a.free_head >= a.block_count || a.free_count >= a.block_count) a.free_head = 0, a.free_count = 0;
      if (aux.write_at(offsetof(AuxHeader, block_count), &a.block_count, 12)) rc = kBadAux;
    }
  }
  aux.unlock(0, length ? length : 1);
  return rc;
}

}  // namespace database
