// Reading a database's records as rows of texts for the database provider unit, and writing
// its changes back.
#include "corelib/database_rows.h"
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include "corelib/cmd_support.h"
#include "database/engine.h"

namespace corelib {

namespace {

// A field value as the to-text command gives it.
std::string field_text(const database::Value& v) {
  runtime::ArgRecord r{};
  switch (v.type) {
    case database::kText: case database::kBytes: case database::kMemo: return v.bytes;
    case database::kBool: r = {v.integer ? 1u : 0u, 0, runtime::kTypeBool}; break;
    case database::kFloat: case database::kDouble: case database::kDateTime: {
      uint64_t bits;
      std::memcpy(&bits, &v.number, 8);
      r = {uint32_t(bits), uint32_t(bits >> 32),
           v.type == database::kDateTime ? runtime::kTypeDateTime : runtime::kTypeDouble};
      break;
    }
    default:
      r = {uint32_t(uint64_t(v.integer)), uint32_t(uint64_t(v.integer) >> 32), runtime::kTypeLong};
      break;
  }
  return text_of_value(r);
}

// The database of a provider: the program's own open of the same file when it has one (its
// current record put back afterwards), else an open of the provider's own, closed again. The
// program's current database stays current either way.
class OwnOpen {
 public:
  explicit OwnOpen(const std::string& file) : before_(database::current_database()) {
    db_ = database::find_database(full_path(file));
    if (db_) {
      shared_ = true;
      record_ = db_->current();
    }
  }
  ~OwnOpen() {
    if (db_ && shared_) db_->set_current(record_);
    else if (db_) database::close_database(db_);
    database::set_current_database(before_);
  }
  OwnOpen(const OwnOpen&) = delete;
  OwnOpen& operator=(const OwnOpen&) = delete;
  bool open(const database::OpenOptions& options) {
    return db_ || (database::open_database(options, &db_) >= 0 && db_);
  }
  database::Database* get() const { return db_; }

 private:
  // The full path the registry knows an open database by (".VDB" when there is no extension).
  static std::string full_path(const std::string& file) {
    char buffer[MAX_PATH];
    DWORD n = GetFullPathNameA(file.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH) return file;
    std::string path(buffer, n);
    size_t slash = path.find_last_of("\\/"), dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".VDB";
    return path;
  }
  database::Database* before_;
  database::Database* db_ = nullptr;
  bool shared_ = false;
  int32_t record_ = 0;
};

// The value of a field's type that a cell's text stands for; false when it stands for none.
bool field_value(int32_t type, const std::string& text, database::Value& out) {
  switch (type) {
    case database::kText: case database::kBytes: case database::kMemo:
      out = database::Value::of_bytes(type, text);
      return true;
    case database::kBool:
      if (text == "真" || text == "1") out = database::Value::of_bool(true);
      else if (text == "假" || text == "0" || text.empty()) out = database::Value::of_bool(false);
      else return false;
      return true;
    case database::kDateTime: {
      double d = 0;
      if (!dates::read_text(text, &d)) return false;
      out = database::Value::of_number(database::kDateTime, d);
      return true;
    }
    case database::kByte: case database::kShort: case database::kInt: case database::kLong:
    case database::kFloat: case database::kDouble: {
      const char* begin = text.c_str();
      char* end = nullptr;
      double d = std::strtod(begin, &end);
      while (end && (*end == ' ' || *end == '\t')) ++end;
      if (end == begin || !end || *end) return false;
      out = database::Value::of_number(database::kDouble, d);
      return true;
    }
    default: return false;  // subroutine pointers are not edited as text
  }
}

}  // namespace

bool write_database_edit(const std::string& file, int mode, const std::string& password,
                         const units::TableEdit& edit, int32_t* appended) {
  database::OpenOptions options;
  options.file = file;
  options.share = mode == 2 ? 4 : 1;
  options.password = password;
  OwnOpen open(file);
  if (!open.open(options)) return false;
  database::Database& db = *open.get();
  int32_t count = 0;
  if (db.record_count(&count) < 0) return false;
  switch (edit.kind) {
    case units::TableEdit::kAppend:
      if (db.append_blank() < 0 || db.record_count(&count) < 0) return false;
      if (appended) *appended = count - 1;
      return true;
    case units::TableEdit::kDelete:
      return edit.record >= 0 && edit.record < count && db.go_to(edit.record) >= 0 &&
             db.set_deleted(true) >= 0;
    default: {
      database::Value v;
      if (edit.record < 0 || edit.record >= count || edit.column < 0 ||
          edit.column >= db.field_count() || !field_value(db.field(edit.column).type, edit.text, v))
        return false;
      return db.go_to(edit.record) >= 0 && db.write_field(edit.column, v) >= 0;
    }
  }
}

bool read_database_rows(const std::string& file, int mode, const std::string& password,
                        units::TableRows& out) {
  out = {};
  database::OpenOptions options;
  options.file = file;
  options.read_only = true;  // the provider keeps its changes in memory
  options.share = mode == 2 ? 4 : 1;
  options.password = password;
  OwnOpen open(file);
  if (!open.open(options)) return false;
  database::Database& db = *open.get();
  for (int32_t f = 0; f < db.field_count(); ++f) out.columns.push_back(db.field_name(f));
  int32_t count = 0;
  if (db.record_count(&count) < 0) return false;
  for (int32_t r = 0; r < count; ++r) {
    bool deleted = false;
    if (db.go_to(r) < 0 || db.is_deleted(&deleted) < 0) return false;
    if (deleted) continue;
    std::vector<std::string> row;
    out.records.push_back(r);
    for (int32_t f = 0; f < db.field_count(); ++f) {
      database::Value v;
      row.push_back(db.read_field(f, v) < 0 ? std::string() : field_text(v));
    }
    out.rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace corelib
