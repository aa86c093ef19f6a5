// Reading a database's records as rows of texts for the database provider unit.
#include "corelib/database_rows.h"
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

// Closes the provider's own open and makes the program's current database current again.
class OpenForRead {
 public:
  OpenForRead() : before_(database::current_database()) {}
  ~OpenForRead() {
    if (db_) database::close_database(db_);
    database::set_current_database(before_);
  }
  OpenForRead(const OpenForRead&) = delete;
  OpenForRead& operator=(const OpenForRead&) = delete;
  database::Database** out() { return &db_; }
  database::Database* get() const { return db_; }

 private:
  database::Database* before_;
  database::Database* db_ = nullptr;
};

}  // namespace

bool read_database_rows(const std::string& file, int mode, const std::string& password,
                        units::TableRows& out) {
  out = {};
  database::OpenOptions options;
  options.file = file;
  options.read_only = true;  // the provider keeps its changes in memory
  options.share = mode == 2 ? 4 : 1;
  options.password = password;
  OpenForRead open;
  if (database::open_database(options, open.out()) < 0 || !open.get()) return false;
  database::Database& db = *open.get();
  for (int32_t f = 0; f < db.field_count(); ++f) out.columns.push_back(db.field_name(f));
  int32_t count = 0;
  if (db.record_count(&count) < 0) return false;
  for (int32_t r = 0; r < count; ++r) {
    bool deleted = false;
    if (db.go_to(r) < 0 || db.is_deleted(&deleted) < 0) return false;
    if (deleted) continue;
    std::vector<std::string> row;
    for (int32_t f = 0; f < db.field_count(); ++f) {
      database::Value v;
      row.push_back(db.read_field(f, v) < 0 ? std::string() : field_text(v));
    }
    out.rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace corelib
