// Index files: a B+tree of (key, record number) entries over one database's records, with
// the key transform, page splits and merges, the free page list and an 18-page cache. Keys
// are ordered by part type; equal keys by ascending record number; a (key, record) pair is
// stored at most once.
//
// Keys passed in are raw: the stored bytes of the key fields, K bytes in key order. When the
// index has a sort mode or key flags they are transformed here, before every insert, delete
// and search; keys handed out (cursor, scan) are the stored, transformed bytes.
//
// Every operation locks the whole file for its duration (nested calls lock once; a file held
// exclusively needs no lock), reads the header once, works through the page cache, and at its
// end writes every dirty page and then the header if it changed. Failures: file errors
// -1..-15, -45 out of memory, -52 for a page that cannot be read or is damaged, -57 past the
// last entry, -58 for a missing pair.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "database/file.h"
#include "database/format.h"
#include "database/index_format.h"

namespace database {

class IndexPager;
struct IndexReport;

// How keys of an open index are built and compared.
struct IndexKey {
  KeyShape shape;                       // part types (text as negated size); K = shape.length()
  int32_t fields[kMaxKeyParts] = {};    // position of each part's field in the database's fields
  int32_t offsets[kMaxKeyParts] = {};   // offset of each part's field inside a record
  int32_t sort_mode = 0;
  int32_t key_flags = 0;
  int32_t page_size = 0;                // P
  int32_t key_length = 0;               // K
  int32_t max_entries = 0;              // E
  int32_t min_entries = 0;              // H
};

// The records of a database in file order, for rebuild and create.
struct RecordSource {
  int32_t count = 0;          // records to index: 0 .. count - 1
  int32_t record_length = 0;  // bytes per record
  // Fills `out` with records first .. first + n - 1; 0 or an error code (-62 short read).
  std::function<int32_t(int32_t first, int32_t n, uint8_t* out)> read;
};
// Records read straight from a database file: the count at offset 16 (short read: -65), the
// records from `data_start`.
int32_t records_in_file(DbFile& db, uint32_t data_start, int32_t record_length, RecordSource* out);

// What a new index is built on.
struct IndexDef {
  std::vector<int32_t> fields;  // key fields: positions in the database's field list, key order
  int32_t sort_mode = 0;        // 0 bytes, 1 pronunciation, 2 pronunciation remapped
  int32_t key_flags = 0;        // kIgnoreCase | kIgnoreSpaces
  int32_t page_factor = 1;      // page size 512 x factor, clamped to 1..100
};

// Key field names to positions: -18 an empty name, -40 no such field (ignoring case), -42 a
// memo or byte-set field, -20 a field named twice, -39 more than 8, -56 a key over 80 bytes,
// -16 no field.
int32_t resolve_key_fields(const std::vector<FieldDescriptor>& fields, const std::vector<std::string>& names,
                           std::vector<int32_t>* out);

// A position in the index: the entry it stands on. Valid until the next change of the tree;
// next and prev find their way from the entry, so a change in between is no harm.
struct IndexCursor {
  int32_t record = -1;
  uint8_t key[kMaxKeyLength] = {};  // stored (transformed) key, K bytes
};

class IndexTree {
 public:
  IndexTree();
  ~IndexTree();
  IndexTree(const IndexTree&) = delete;
  IndexTree& operator=(const IndexTree&) = delete;

  // Opens an index file with the database's access and sharing and checks it whole-locked
  // against the database's fields and version: 0, -30 (cannot be opened), -31, -32, -43, -49,
  // -53, -54. Held exclusively, the file needs no locks, keeps its pages between operations
  // and is mapped into memory; deny-write keeps its pages.
  int32_t open(const std::string& path, bool write, Share share, const std::vector<FieldDescriptor>& fields,
               int32_t version);
  // The same on a file the caller opened; the tree takes it over (also on failure).
  int32_t attach(std::unique_ptr<DbFile> file, bool write, Share share, const std::vector<FieldDescriptor>& fields,
                 int32_t version);
  // Creates a new index file (refused when it exists), writes its header and empty root,
  // inserts every record of `records`, and leaves the tree open for reading and writing with
  // `share` (full sharing unless the database is held more tightly: pass its sharing). -41
  // when the file cannot be created or written, else the failing step's code; a failed create
  // leaves no file.
  int32_t create(const std::string& path, const std::vector<FieldDescriptor>& fields, int32_t version,
                 const IndexDef& def, const RecordSource& records, Share share = Share::kAll);
  void close();
  bool is_open() const;
  int32_t flush();  // inside a batch, writes what the batch changed so far first

  const IndexKey& key() const { return key_; }
  const IndexHeader& header() const { return header_; }  // as of the last operation
  // The raw key of a record: its key fields' stored bytes, in key order (K bytes).
  void key_of_record(const uint8_t* record, uint8_t* key) const;

  int32_t insert(const uint8_t* key, int32_t record);
  int32_t remove(const uint8_t* key, int32_t record);  // -58 when the pair is not there
  // Nothing when the keys are equal, or equal after the transform; else remove and insert.
  // When the old pair is missing the new one is still inserted, and the result is -58.
  int32_t update(const uint8_t* old_key, const uint8_t* new_key, int32_t record);
  // The first record >= `start` whose key equals `key`; *record = -1 when there is none.
  int32_t find(const uint8_t* key, int32_t start, int32_t* record);

  // Cursor walks: 0, or -57 when there is no such entry.
  int32_t seek(const uint8_t* key, int32_t start, IndexCursor* at);  // first entry >= (key, start)
  int32_t first(IndexCursor* at);
  int32_t last(IndexCursor* at);
  int32_t next(IndexCursor* at);
  int32_t prev(IndexCursor* at);
  // Every entry in order under one lock; `visit` returns false to stop.
  int32_t scan(const std::function<bool(int32_t record, const uint8_t* key)>& visit);

  // Empties the tree and inserts every record of `records` with its record number.
  int32_t rebuild(const RecordSource& records);
  // Empties the tree: page count 2, an empty leaf root, the file cut to two pages.
  int32_t clear();

  // Holds the index (its lock, header and pages) from begin_batch to end_batch, so that the
  // operations in between share one lock and cache; pages reach the file when they leave the
  // cache and at end_batch. Batches nest with operations.
  int32_t begin_batch();
  int32_t end_batch();

  // Keeps pages cached between operations. Sound only while no other process can write the
  // file; set on at open when the sharing denies others writing.
  void set_keep_cache(bool keep);

 private:
  friend class IndexOp;
  friend int32_t check_index(IndexTree& tree, int32_t record_count, const RecordSource* records,
                             IndexReport* report);
  int32_t check_open(const std::vector<FieldDescriptor>& fields, int32_t version);
  int32_t enter();               // the outermost locks the file and reads the header
  int32_t leave(int32_t rc);     // the outermost writes what changed and unlocks

  std::unique_ptr<DbFile> file_;
  std::unique_ptr<IndexPager> pager_;
  IndexHeader header_{};
  IndexKey key_;
  bool lock_file_ = true;   // false when the sharing keeps every other process out
  bool keep_cache_ = false; // pages stay cached between operations
  int32_t depth_ = 0;       // nesting of operations
};

}  // namespace database
