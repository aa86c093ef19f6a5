// The database engine: the process's registry of open databases and the current one, and
// the operations on an open database (navigation, fields, records, indexes, locks,
// passwords). Every operation returns a database error code (0 = success, negative = the
// code of errors.h); the commands, the browse dialog, the file commands and the tool all work
// through this one header. Nothing here takes a thread lock: an open database is used by one
// thread at a time; processes sharing files coordinate through byte-range locks.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "database/errors.h"
#include "database/file.h"
#include "database/format.h"
#include "database/locks.h"
#include "database/validate.h"

namespace database {

// A field value as the engine exchanges it, named by the field type codes: 1..4 and 9 in
// `integer` (7: 0 or 1), 5, 6 and 8 in `number`, 10 and 12 (texts) and 11 (bytes) in `bytes`.
struct Value {
  int32_t type = 0;
  int64_t integer = 0;
  double number = 0;
  std::string bytes;

  static Value of_int(int32_t type, int64_t v) { Value x; x.type = type; x.integer = v; return x; }
  static Value of_number(int32_t type, double v) { Value x; x.type = type; x.number = v; return x; }
  static Value of_bytes(int32_t type, std::string v) { Value x; x.type = type; x.bytes = std::move(v); return x; }
  static Value of_bool(bool v) { return of_int(kBool, v ? 1 : 0); }
};

// Date-time bounds of field reads: 100-01-01 and 9999-12-31.
inline constexpr double kEarliestDate = -657434.0;
inline constexpr double kLatestDate = 2958465.0;

struct OpenOptions {
  std::string file;                  // ".VDB" appended when it has no extension
  std::string alias;                 // empty = none
  bool read_only = false;
  int32_t share = 1;                 // 1 all, 2 deny read, 3 deny write, 4 deny both
  std::string password;              // "?" asks the user
  std::vector<std::string> indexes;  // index files (empty names skipped)
};

struct IndexSpec {
  std::string file;                  // ".VNX" appended; the database's folder without one
  std::vector<std::string> fields;   // key fields, 1..8
  int32_t sort_mode = 0;             // 0 bytes, 1 pronunciation, 2 remapped pronunciation
  int32_t key_flags = 0;             // bit 0 ignore case, bit 1 ignore spaces
  int32_t page_factor = 1;           // page size 512 x 1..100
};

struct OpenIndex;  // an open index file and its key descriptor (indexes.h)

class Database {
 public:
  Database();
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // --- what the database is
  const std::string& full_path() const { return path_; }
  const std::string& name() const { return name_; }    // file name without folder and extension
  const std::string& alias() const { return alias_; }
  bool read_only() const { return read_only_; }
  int32_t share() const { return share_; }
  double created() const { return layout_.header.created; }
  bool has_password() const { return file_.cipher().on; }
  int32_t field_count() const { return static_cast<int32_t>(layout_.fields.size()); }
  // Field f, 0 <= f < field_count() (the callers check: field operations answer -61 outside).
  const FieldDescriptor& field(int32_t f) const { return layout_.fields[static_cast<size_t>(f)]; }
  const std::vector<FieldDescriptor>& fields() const { return layout_.fields; }
  int32_t version() const { return layout_.header.version; }
  std::string field_name(int32_t f) const;
  int32_t field_size(int32_t f) const;
  // Field number by name ignoring case, -1 when none.
  int32_t find_field(const std::string& name) const;
  uint32_t data_start() const { return layout_.data_start; }
  int32_t record_length() const { return layout_.header.record_length; }
  bool has_aux() const { return aux_.is_open(); }
  DbFile& file() { return file_; }
  DbFile& aux() { return aux_; }

  // --- records and navigation (record numbers are 0-based)
  // The record count under the count lock (-65 on a short read; a negative count is 0).
  int32_t record_count(int32_t* count);
  // And the next serial (below 1 read as 1).
  int32_t counts(int32_t* count, int32_t* next_serial);
  int32_t current() const { return current_; }
  void set_current(int32_t record) { current_ = record; }
  int32_t go_first();
  int32_t go_last();
  int32_t go_to(int32_t record);  // clamped to 0..count - 1 (0 when empty)
  int32_t skip(int32_t n);        // -25 / -26 past the ends
  int32_t before_first(bool* out);
  int32_t after_last(bool* out);

  // --- fields of the current record
  int32_t read_field(int32_t f, Value& out);
  // The stored bytes of a field (a memo or byte set: its value).
  int32_t read_stored(int32_t f, std::string& out);
  // Type checks: numbers convert among the numeric types, everything else must match (-72).
  int32_t write_field(int32_t f, const Value& v);
  // Stored bytes as they go into the record (a memo or byte set: its value).
  int32_t write_stored(int32_t f, const void* data, uint32_t n);
  // Appends to a byte-set (`memo` false) or memo field's value (-70 for another type).
  int32_t append_to_field(int32_t f, const std::string& data, bool memo);
  // The current record's whole bytes, status word first.
  int32_t read_record(std::string& out);
  int32_t serial(int32_t* out);
  int32_t is_deleted(bool* out);

  // --- appending, deleting, packing
  int32_t append_blank();
  // Appends a record and writes `values` into its fields in field order.
  int32_t append_values(const std::vector<Value>& values);
  // Marks the current record deleted (or not).
  int32_t set_deleted(bool deleted);
  // Visits every record in file order under the database lock, the record buffer set and
  // the current record on it; `visit` answers 0 to go on, 1 to stop, or an error code. The
  // current record is put back afterwards unless `keep_current`.
  using Visit = std::function<int32_t(int32_t record)>;
  int32_t scan(const Visit& visit, bool keep_current = false);
  // Delete or undelete every record for which `test` answers true (under the database lock).
  using Test = std::function<int32_t(bool* match)>;
  int32_t set_deleted_where(bool deleted, const Test& test);
  // The first record from the current one on that passes `test` becomes current.
  int32_t find(const Test& test, bool* found);
  // Serial search; `go` moves to the record found.
  int32_t find_serial(int32_t serial, bool go, bool* found);
  // Drops the deleted records (chains released, indexes rebuilt, next serial kept).
  int32_t pack();
  // Drops `count` records from `start` on.
  int32_t pack_range(int32_t start, int32_t count);
  int32_t clear();
  // During a scan: the bytes of the record being visited, else null.
  const uint8_t* record_buffer() const { return scan_record_; }

  // --- indexes
  int32_t create_index(const IndexSpec& spec);
  int32_t index_count() const { return static_cast<int32_t>(indexes_.size()); }
  // Of index i (0-based; empty outside 0..index_count() - 1).
  const std::string& index_name(int32_t i) const;
  std::vector<std::string> index_fields(int32_t i) const;
  const std::string& index_path(int32_t i) const;
  OpenIndex& index(int32_t i) { return *indexes_[static_cast<size_t>(i)]; }
  int32_t current_index() const { return current_index_; }
  int32_t set_current_index(const std::string& name);  // -68
  int32_t reindex();                                   // the current index; -69 without
  int32_t rebuild_indexes();                           // every open index
  // One value per key part of the current index (-69, -73, -72, -64); found moves there.
  int32_t seek(const std::vector<Value>& values, bool* found);

  // --- locks (record numbers 0-based)
  int32_t lock_database();
  int32_t unlock_database();
  int32_t lock_count();
  int32_t unlock_count();
  int32_t lock_record(int32_t record);
  int32_t unlock_record(int32_t record);
  int32_t unlock_all();
  int32_t exclusive_count() const { return locks_.exclusive_count(); }

  // --- passwords, names, files
  int32_t set_password(const std::string& password);  // "?" is -80; empty removes it
  int32_t copy_password(Database& from);
  // Renames a field in the file (needs the exclusive count above 0: -74).
  int32_t rename_field(int32_t f, const std::string& name);
  int32_t flush();

 private:
  friend int32_t open_database(const OpenOptions& options, Database** out);
  friend struct Opener;
  uint64_t record_at(int32_t record) const {
    return layout_.data_start + uint64_t(record) * uint32_t(layout_.header.record_length);
  }
  int32_t record_lock(int32_t record);
  void record_unlock(int32_t record);
  int32_t count_lock();
  void count_unlock();
  int32_t read_counts(int32_t* count, int32_t* next_serial);
  void note_counts(int32_t count, int32_t next_serial);
  bool counts_cached() const { return share_ == 4 && cached_count_ >= 0; }
  void forget_counts() { cached_count_ = -1; }
  int32_t append_record(const std::vector<std::string>* stored);
  int32_t field_bytes(int32_t f, std::string& stored);  // raw bytes in the record
  int32_t write_locked(int32_t f, const std::string& stored);
  int32_t set_status(int32_t record, bool deleted, const int32_t* status);
  int32_t drop_records(const std::function<bool(int32_t record, const uint8_t* bytes)>& drop);
  int32_t release_chains(const uint8_t* record);
  int32_t insert_keys(int32_t record, const uint8_t* bytes);
  int32_t update_keys(int32_t f, const uint8_t* old_record, const uint8_t* new_record, int32_t record);
  int32_t write_password(const PageCipher& c);
  int32_t rename_in_indexes(int32_t f, const char (&stored)[17]);

  DbFile file_, aux_;
  LockSet locks_{file_};
  std::string path_, name_, alias_;
  bool read_only_ = false;
  int32_t share_ = 1;
  Layout layout_;
  int32_t current_ = 0;
  int32_t cached_count_ = -1, cached_serial_ = 1;  // share mode 4 only: no one else writes them
  std::vector<std::unique_ptr<OpenIndex>> indexes_;
  int32_t current_index_ = -1;
  const uint8_t* scan_record_ = nullptr;
};

// --- the registry of open databases (one per process)

// Opens a database, registers it and makes it current.
int32_t open_database(const OpenOptions& options, Database** out = nullptr);
// Closes and unregisters it (releasing its locks).
void close_database(Database* db);
void close_all_databases();
Database* current_database();
void set_current_database(Database* db);
// By alias, then name, then full path, ignoring case, newest first; null when none.
Database* find_database(const std::string& name);
// Open databases, oldest first.
std::vector<Database*> open_databases();

// Whether the file (".VDB" appended) or the open database of that name is protected.
bool is_password_protected(const std::string& name_or_file);

// How an open with the password "?" asks the user (the dialog by default; the tool and
// tests may set their own). Null restores the dialog.
void set_password_asker(AskPassword ask);

}  // namespace database
