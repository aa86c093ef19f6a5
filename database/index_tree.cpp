// The index tree's public side: open with its checks, create, the key of a record, and each
// operation run as one IndexOp (locked, through the page cache).
#include "database/index_tree.h"
#include <algorithm>
#include <cstring>
#include <new>
#include "database/create.h"
#include "database/index_op.h"
#include "database/key_transform.h"
#include "database/lock_retry.h"
#include "database/names.h"

namespace database {

using namespace page_bytes;

namespace {

constexpr int32_t kNotIndex = -31;
constexpr int32_t kMaxPageSize = 512 * 100;

}  // namespace

IndexTree::IndexTree() = default;
IndexTree::~IndexTree() { close(); }

bool IndexTree::is_open() const { return file_ && file_->is_open(); }

void IndexTree::close() {
  pager_.reset();
  if (file_) file_->close();
  file_.reset();
  depth_ = 0;
}

int32_t IndexTree::flush() {
  if (!is_open()) return 0;
  if (depth_ > 0) {
    // Inside a batch: what the batch changed so far goes out first.
    int32_t rc = pager_->write_out();
    if (rc) return rc;
  }
  return file_->flush();
}

void IndexTree::set_keep_cache(bool keep) {
  keep_cache_ = keep;
  if (pager_ && depth_ == 0) pager_->set_keep(keep);
}

int32_t IndexTree::enter() {
  if (!is_open() || !pager_) return -7;
  if (depth_ > 0) {
    ++depth_;
    return 0;
  }
  if (lock_file_) {
    int32_t rc = lock_with_retry(*file_, 0, kIndexLockSpan, lock_retry_time());
    if (rc) return rc;
  }
  int32_t rc = pager_->begin();
  if (rc) {
    pager_->finish(rc);
    if (lock_file_) file_->unlock(0, kIndexLockSpan);
    return rc;
  }
  depth_ = 1;
  return 0;
}

int32_t IndexTree::leave(int32_t rc) {
  if (depth_ > 1) {
    // An inner operation: what it changed stays for the outer one to write.
    --depth_;
    if (rc) pager_->clear_error();
    header_ = pager_->header();
    return rc;
  }
  depth_ = 0;
  rc = pager_->finish(rc);
  header_ = pager_->header();
  if (lock_file_) file_->unlock(0, kIndexLockSpan);
  return rc;
}

int32_t IndexTree::begin_batch() { return enter(); }

int32_t IndexTree::end_batch() { return depth_ > 0 ? leave(0) : 0; }

void IndexTree::key_of_record(const uint8_t* record, uint8_t* key) const {
  for (int32_t p = 0; p < key_.shape.count; ++p) {
    int32_t n = key_.shape.size(p);
    std::memcpy(key, record + key_.offsets[p], size_t(n));
    key += n;
  }
}

int32_t IndexTree::open(const std::string& path, bool write, Share share, const std::vector<FieldDescriptor>& fields,
                        int32_t version) {
  auto file = std::make_unique<DbFile>();
  if (open_with_retry(*file, path, write, share)) {
    close();
    return -30;
  }
  return attach(std::move(file), write, share, fields, version);
}

int32_t IndexTree::attach(std::unique_ptr<DbFile> file, bool write, Share share,
                          const std::vector<FieldDescriptor>& fields, int32_t version) {
  close();
  file_ = std::move(file);
  if (!file_ || !file_->is_open()) {
    close();
    return -30;
  }
  lock_file_ = share != Share::kExclusive;
  if (lock_file_) {
    int32_t rc = lock_with_retry(*file_, 0, kIndexLockSpan, lock_retry_time());
    if (rc) {
      close();
      return rc;
    }
  }
  int32_t rc = check_open(fields, version);
  if (lock_file_) file_->unlock(0, kIndexLockSpan);
  if (rc) {
    close();
    return rc;
  }
  keep_cache_ = share == Share::kExclusive || share == Share::kDenyWrite;
  pager_ = std::make_unique<IndexPager>(*file_, key_.page_size);
  pager_->set_keep(keep_cache_);
  // A file no other handle can open is read and written through a view of it: page reads and
  // writes copy memory instead of calling the system (a file too large stays unmapped).
  if (share == Share::kExclusive) file_->map();
  return 0;
}

int32_t IndexTree::check_open(const std::vector<FieldDescriptor>& fields, int32_t version) {
  IndexHeader h{};
  uint32_t got = 0;
  if (file_->read_at(0, &h, sizeof h, &got) || got != sizeof h) return kNotIndex;
  uint64_t length = 0;
  if (file_->size(&length)) return kNotIndex;
  // Pages above the largest size a factor gives are refused: the cache holds 18 of them.
  if (h.page_size > kMaxPageSize) return kNotIndex;
  IndexKey k;
  int32_t rc = check_index_header(h, length, &k.shape);
  if (rc) return rc;
  if (h.version != version) return -32;
  for (int32_t p = 0; p < h.part_count; ++p) {
    std::string name(h.names[p]);
    for (int32_t q = 0; q < p; ++q)
      if (same_name(name, h.names[q])) return kNotIndex;
    int32_t f = 0, nf = int32_t(fields.size());
    for (; f < nf; ++f)
      if (same_name(name, std::string(fields[size_t(f)].name, strnlen(fields[size_t(f)].name, 17)))) break;
    if (f == nf) return -43;
    const FieldDescriptor& d = fields[size_t(f)];
    int32_t t = h.types[p];
    if ((t < 0 ? kText : t) != d.type) return -54;
    if ((t < 0 ? -t : field_size(t, 0)) != field_size(d.type, d.text_size)) return -53;
    k.fields[p] = f;
    k.offsets[p] = d.offset;
  }
  k.sort_mode = h.sort_mode;
  k.key_flags = h.key_flags;
  k.page_size = h.page_size;
  k.key_length = h.key_length;
  k.max_entries = max_entries(h.page_size, h.key_length);
  k.min_entries = min_entries(h.page_size, h.key_length);
  key_ = k;
  header_ = h;
  return 0;
}

int32_t resolve_key_fields(const std::vector<FieldDescriptor>& fields, const std::vector<std::string>& names,
                           std::vector<int32_t>* out) {
  out->clear();
  if (names.size() > size_t(kMaxKeyParts)) return -39;
  int32_t length = 0;
  for (const std::string& name : names) {
    if (name.empty()) return -18;
    int32_t f = 0, nf = int32_t(fields.size());
    for (; f < nf; ++f)
      if (same_name(name, std::string(fields[size_t(f)].name, strnlen(fields[size_t(f)].name, 17)))) break;
    if (f == nf) return -40;
    if (chained_type(fields[size_t(f)].type)) return -42;
    if (std::find(out->begin(), out->end(), f) != out->end()) return -20;
    out->push_back(f);
    length += field_size(fields[size_t(f)].type, fields[size_t(f)].text_size);
  }
  if (length > kMaxKeyLength) return -56;
  if (out->empty() || length == 0) return -16;
  return 0;
}

int32_t records_in_file(DbFile& db, uint32_t data_start, int32_t record_length, RecordSource* out) {
  int32_t count = 0;
  int32_t rc = db.read_exact(16, &count, 4, -65);
  if (rc) return rc;
  out->count = count < 0 ? 0 : count;
  out->record_length = record_length;
  DbFile* f = &db;
  out->read = [f, data_start, record_length](int32_t first, int32_t n, uint8_t* buf) {
    return f->read_exact(data_start + uint64_t(first) * uint32_t(record_length), buf,
                         uint32_t(n) * uint32_t(record_length), -62);
  };
  return 0;
}

int32_t IndexTree::create(const std::string& path, const std::vector<FieldDescriptor>& fields, int32_t version,
                          const IndexDef& def, const RecordSource& records, Share share) {
  close();
  constexpr int32_t kCreateFailed = -41;
  IndexHeader h{};
  std::memcpy(h.magic, kIndexMagic, 4);
  h.version = version;
  h.created = date_time_now();
  h.sort_mode = def.sort_mode;
  h.key_flags = def.key_flags & 3;
  h.page_count = 2;
  h.root = 1;
  int32_t factor = std::clamp(def.page_factor, 1, 100);
  h.page_size = 512 * factor;
  if (def.fields.empty()) return -16;
  if (def.fields.size() > size_t(kMaxKeyParts)) return -39;
  h.part_count = int32_t(def.fields.size());
  IndexKey k;
  k.shape.count = h.part_count;
  for (int32_t p = 0; p < h.part_count; ++p) {
    int32_t f = def.fields[size_t(p)];
    if (f < 0 || f >= int32_t(fields.size())) return -40;
    const FieldDescriptor& d = fields[size_t(f)];
    if (chained_type(d.type)) return -42;
    for (int32_t q = 0; q < p; ++q)
      if (def.fields[size_t(q)] == f) return -20;
    std::memcpy(h.names[p], d.name, strnlen(d.name, 16));
    h.types[p] = d.type == kText ? -d.text_size : d.type;
    k.shape.types[p] = h.types[p];
    k.fields[p] = f;
    k.offsets[p] = d.offset;
  }
  h.key_length = k.shape.length();
  if (h.key_length > kMaxKeyLength) return -56;
  if (h.key_length <= 0) return -16;
  k.sort_mode = h.sort_mode;
  k.key_flags = h.key_flags;
  k.page_size = h.page_size;
  k.key_length = h.key_length;
  k.max_entries = max_entries(h.page_size, h.key_length);
  k.min_entries = min_entries(h.page_size, h.key_length);

  file_ = std::make_unique<DbFile>();
  if (file_->open(path, true, Share::kExclusive, true)) {
    close();
    return kCreateFailed;
  }
  key_ = k;
  header_ = h;
  lock_file_ = false;
  keep_cache_ = false;
  pager_ = std::make_unique<IndexPager>(*file_, k.page_size);
  int32_t rc = file_->write_at(0, &h, sizeof h) ? kCreateFailed : 0;
  if (rc == 0) rc = rebuild(records);
  close();
  if (rc) {
    // Nothing half made stays behind: the file is new, so it is ours to remove.
    DbFile::remove(path);
    return rc;
  }
  return open(path, true, share, fields, version);
}

namespace {

// Runs `body` as one operation: entered, and left with its result (a failure drops what it
// changed). Memory running out inside gives -45; any other exception leaves the operation
// (lock released, changes dropped) before it goes on.
template <class Body>
int32_t run(IndexTree& tree, Body&& body) {
  IndexOp op(tree);
  if (op.rc()) return op.leave(0);
  int32_t rc = 0;
  try {
    rc = body(op);
  } catch (const std::bad_alloc&) {
    rc = -45;
  } catch (...) {
    op.leave(kIndexPageError);
    throw;
  }
  return op.leave(rc);
}

int32_t fill_cursor(IndexOp& op, int32_t key_length, IndexCursor* at) {
  if (op.at_end()) return kPastEnd;
  const uint8_t* e = op.entry();
  if (!e) return kIndexPageError;
  at->record = get32(e);
  std::memcpy(at->key, e + 4, size_t(key_length));
  return 0;
}

}  // namespace

int32_t IndexTree::insert(const uint8_t* key, int32_t record) {
  return run(*this, [&](IndexOp& op) {
    uint8_t buf[kMaxKeyLength];
    return op.insert(op.stored(key, buf), record);
  });
}

int32_t IndexTree::remove(const uint8_t* key, int32_t record) {
  return run(*this, [&](IndexOp& op) {
    uint8_t buf[kMaxKeyLength];
    return op.remove(op.stored(key, buf), record);
  });
}

int32_t IndexTree::update(const uint8_t* old_key, const uint8_t* new_key, int32_t record) {
  size_t K = size_t(key_.key_length);
  if (std::memcmp(old_key, new_key, K) == 0) return 0;
  uint8_t a[kMaxKeyLength], b[kMaxKeyLength];
  if (transform_needed(key_.sort_mode, key_.key_flags)) {
    transform_key(key_.shape, key_.sort_mode, key_.key_flags, old_key, a);
    transform_key(key_.shape, key_.sort_mode, key_.key_flags, new_key, b);
  } else {
    std::memcpy(a, old_key, K);
    std::memcpy(b, new_key, K);
  }
  if (std::memcmp(a, b, K) == 0) return 0;
  int32_t missing = 0;
  int32_t rc = run(*this, [&](IndexOp& op) {
    int32_t removed = op.remove(a, record);
    if (removed != 0 && removed != kNoPair) return removed;
    // A missing old pair still gets the new one: the record must be found under its key.
    missing = removed;
    return op.insert(b, record);
  });
  return rc ? rc : missing;
}

int32_t IndexTree::find(const uint8_t* key, int32_t start, int32_t* record) {
  *record = -1;
  return run(*this, [&](IndexOp& op) {
    uint8_t buf[kMaxKeyLength];
    const uint8_t* k = op.stored(key, buf);
    int32_t rc = op.seek(k, start < 0 ? 0 : start);
    if (rc || op.at_end()) return rc;
    const uint8_t* e = op.entry();
    if (!e) return kIndexPageError;
    if (compare_keys(key_.shape, e + 4, k) == 0) *record = get32(e);
    return 0;
  });
}

int32_t IndexTree::seek(const uint8_t* key, int32_t start, IndexCursor* at) {
  return run(*this, [&](IndexOp& op) {
    uint8_t buf[kMaxKeyLength];
    int32_t rc = op.seek(op.stored(key, buf), start < 0 ? 0 : start);
    return rc ? rc : fill_cursor(op, key_.key_length, at);
  });
}

int32_t IndexTree::first(IndexCursor* at) {
  return run(*this, [&](IndexOp& op) {
    int32_t rc = op.seek_edge(false);
    return rc ? rc : fill_cursor(op, key_.key_length, at);
  });
}

int32_t IndexTree::last(IndexCursor* at) {
  return run(*this, [&](IndexOp& op) {
    int32_t rc = op.seek_edge(true);
    return rc ? rc : fill_cursor(op, key_.key_length, at);
  });
}

int32_t IndexTree::next(IndexCursor* at) {
  return run(*this, [&](IndexOp& op) {
    int32_t rc = op.seek(at->key, at->record);
    if (rc == 0 && !op.at_end()) {
      const uint8_t* e = op.entry();
      if (!e) return kIndexPageError;
      if (get32(e) == at->record && compare_keys(key_.shape, e + 4, at->key) == 0) rc = op.step_forward();
    }
    return rc ? rc : fill_cursor(op, key_.key_length, at);
  });
}

int32_t IndexTree::prev(IndexCursor* at) {
  return run(*this, [&](IndexOp& op) {
    int32_t rc = op.seek(at->key, at->record);
    if (rc == 0) {
      if (op.at_end()) rc = op.seek_edge(true);  // everything is before it: the last entry
      else rc = op.step_back();
    }
    return rc ? rc : fill_cursor(op, key_.key_length, at);
  });
}

int32_t IndexTree::scan(const std::function<bool(int32_t record, const uint8_t* key)>& visit) {
  return run(*this, [&](IndexOp& op) {
    int32_t rc = op.seek_edge(false);
    uint8_t key[kMaxKeyLength];
    // More entries than the pages can hold means a page is reached twice: a damaged file.
    int64_t limit = int64_t(pager_->header().page_count) * key_.max_entries, visited = 0;
    while (rc == 0 && !op.at_end()) {
      const uint8_t* e = op.entry();
      if (!e || ++visited > limit) return kIndexPageError;
      std::memcpy(key, e + 4, size_t(key_.key_length));
      if (!visit(get32(e), key)) break;
      rc = op.step_forward();
    }
    return rc;
  });
}

int32_t IndexTree::rebuild(const RecordSource& records) {
  return run(*this, [&](IndexOp& op) { return op.bulk_load(records); });
}

int32_t IndexTree::clear() {
  RecordSource none;
  return rebuild(none);
}

}  // namespace database
