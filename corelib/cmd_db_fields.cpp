// Database commands on fields: their count, names, types and sizes, renaming, and reading and
// writing the current record's fields (of the current database or a named one).
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/errors.h"
#include "runtime/errors.h"

namespace corelib {

using namespace runtime;
using database::Database;
using database::Value;

namespace {

// The read and write field commands stop the program for a missing database or field.
Database* database_or_raise(Database* d) {
  if (!d) raise_error("未指定当前数据库或者指定数据库未打开", 0);
  return d;
}

int32_t field_or_raise(Database& d, const ArgRecord& arg) {
  int32_t f = db::field_of(d, arg, db::FieldArgs::kReadWrite);
  if (f < 0) raise_error("指定字段不存在", 0);
  return f;
}

void read_field(ResultRecord* result, Database& d, const ArgRecord& field) {
  int32_t f = field_or_raise(d, field);
  Value v;
  if (db::done(d.read_field(f, v))) db::set_value(result, v);
  else db::set_empty(result, d.field(f).type);
}

bool write_field(Database& d, const ArgRecord& field, const ArgRecord& value) {
  int32_t f = field_or_raise(d, field);
  Value v;
  if (!db::value_of(value, d.field(f).type, &v)) return db::done(-72);
  return db::done(d.write_field(f, v));
}

// Values of several arguments, one per field in field order: false after -72.
bool values_in_field_order(Database& d, int argc, ArgRecord* args, int first, std::vector<Value>* out) {
  for (int i = first; i < argc && i - first < d.field_count(); ++i) {
    Value v;
    if (!db::value_of(args[i], d.field(i - first).type, &v)) return db::done(-72);
    out->push_back(std::move(v));
  }
  return true;
}

// Appends the byte sets (or texts, for a memo) from argument 1 on to a field's value.
bool add_to_field(int argc, ArgRecord* args, bool memo) {
  Database* d = db::current();
  int32_t f = d ? db::field_of(*d, arg_at(argc, args, 0), db::FieldArgs::kQuiet) : -1;
  if (f < 0) return false;
  std::string data;
  for (int i = 1; i < argc; ++i) {
    Arg a(args[i]);
    if (memo) data += text_of(a.record());
    else data += bin_of(a.record());
  }
  return db::done(d->append_to_field(f, data, memo));
}

}  // namespace

CORELIB_COMMAND(db_field_count) {
  if (Database* d = db::current()) {
    set_int(result, d->field_count());
    db::done(0);
  }
}

CORELIB_COMMAND(db_field_name) {
  Database* d = db::current();
  int32_t f = d ? db::field_of(*d, arg_at(argc, args, 0), db::FieldArgs::kInformation) : -1;
  if (f < 0) return;
  set_text(result, d->field_name(f));
  db::done(0);
}

// Arguments: the field, the new name.
CORELIB_COMMAND(db_rename_field) {
  Database* d = db::current();
  int32_t f = d ? db::field_of(*d, arg_at(argc, args, 0), db::FieldArgs::kQuiet) : -1;
  Arg name(arg_at(argc, args, 1));
  set_bool(result, f >= 0 && db::done(d->rename_field(f, text_of(name.record()))));
}

CORELIB_COMMAND(db_field_type) {
  Database* d = db::current();
  int32_t f = d ? db::field_of(*d, arg_at(argc, args, 0), db::FieldArgs::kInformation) : -1;
  if (f < 0) return;
  set_int(result, d->field(f).type);
  db::done(0);
}

CORELIB_COMMAND(db_field_size) {
  Database* d = db::current();
  int32_t f = d ? db::field_of(*d, arg_at(argc, args, 0), db::FieldArgs::kInformation) : -1;
  if (f < 0) return;
  set_int(result, d->field_size(f));
  db::done(0);
}

CORELIB_COMMAND(db_read_field) {
  read_field(result, *database_or_raise(database::current_database()), arg_at(argc, args, 0));
}

CORELIB_COMMAND(db_write_field) {
  Database* d = database_or_raise(database::current_database());
  set_bool(result, write_field(*d, arg_at(argc, args, 0), arg_at(argc, args, 1)));
}

// Arguments: the field, the database's name.
CORELIB_COMMAND(db_read_field_of) {
  Arg name(arg_at(argc, args, 1));
  Database* d = database_or_raise(database::find_database(text_of(name.record())));
  read_field(result, *d, arg_at(argc, args, 0));
}

// Arguments: the field, the database's name, the value.
CORELIB_COMMAND(db_write_field_of) {
  Arg name(arg_at(argc, args, 1));
  Database* d = database_or_raise(database::find_database(text_of(name.record())));
  set_bool(result, write_field(*d, arg_at(argc, args, 0), arg_at(argc, args, 2)));
}

// Arguments: the field, then values to add: byte sets to a byte-set field, texts to a memo.
CORELIB_COMMAND(db_add_to_bytes_field) { set_bool(result, add_to_field(argc, args, false)); }
CORELIB_COMMAND(db_add_to_memo_field) { set_bool(result, add_to_field(argc, args, true)); }

// Values for the fields in field order.
CORELIB_COMMAND(db_append_values) {
  Database* d = db::current();
  std::vector<Value> values;
  set_bool(result, d && values_in_field_order(*d, argc, args, 0, &values) &&
                       db::done(d->append_values(values)));
}

CORELIB_COMMAND(db_append_blank) {
  Database* d = db::current();
  set_bool(result, d && db::done(d->append_blank()));
}

CORELIB_COMMAND(db_write_values) {
  Database* d = db::current();
  std::vector<Value> values;
  if (!d || !values_in_field_order(*d, argc, args, 0, &values)) return set_bool(result, false);
  if (d->current() < 0) return set_bool(result, db::done(-60));
  int32_t rc = 0;
  for (size_t f = 0; f < values.size() && rc == 0; ++f)
    rc = d->write_field(static_cast<int32_t>(f), values[f]);
  set_bool(result, db::done(rc));
}

}  // namespace corelib
