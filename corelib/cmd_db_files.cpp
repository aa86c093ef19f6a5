// Database commands on whole databases: the last error, create, open and close, the current
// database, what a database is, flushing, and access passwords.
#include <windows.h>
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/create.h"
#include "database/errors.h"
#include "database/password_prompt.h"
#include "runtime/heap.h"

namespace corelib {

using namespace runtime;
using database::Database;

namespace {

// A field definition block of the array that create database takes: {name, type, text size}.
struct FieldDefinition {
  uint32_t name;  // address of a text
  int32_t type;
  int32_t size;
};
static_assert(sizeof(FieldDefinition) == 12);
constexpr uint32_t kFieldInfoArray = 0x00010022u | kArrayBit;  // core data type 34, an array

std::vector<database::FieldDef> field_definitions(const ArgRecord& a) {
  std::vector<database::FieldDef> defs;
  if (a.type != kFieldInfoArray || a.lo == 0) return defs;
  const auto* block = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(a.lo));
  uint64_t n = 1;
  for (uint32_t d = 0; d < block[0]; ++d) n *= block[1 + d];
  const uint32_t* element = block + 1 + block[0];
  for (uint64_t k = 0; k < n; ++k) {
    const auto* def = reinterpret_cast<const FieldDefinition*>(static_cast<uintptr_t>(element[k]));
    if (!def) break;
    const char* name = reinterpret_cast<const char*>(static_cast<uintptr_t>(def->name));
    defs.push_back({name ? name : "", def->type, def->size});
  }
  return defs;
}

bool open_from_args(int argc, ArgRecord* args) {
  database::OpenOptions o;
  o.file = text_of(Arg(arg_at(argc, args, 0)).record());
  Arg alias(arg_at(argc, args, 1));
  if (alias.type() == kTypeText) o.alias = text_of(alias.record());
  o.read_only = bool_or(argc, args, 2, false);
  o.share = int_or(argc, args, 3, 1);
  Arg password(arg_at(argc, args, 5));
  if (password.type() == kTypeText) o.password = text_of(password.record());
  o.indexes = db::names_from(argc, args, 6);
  return db::done(database::open_database(o));
}

}  // namespace

CORELIB_COMMAND(db_last_error) { set_int(result, database::last_error()); }

CORELIB_COMMAND(db_last_error_text) { set_text(result, database::error_text(database::last_error())); }

// Arguments: the file name, the array of field definitions.
CORELIB_COMMAND(db_create) {
  Arg file(arg_at(argc, args, 0));
  set_bool(result, db::done(database::create_database(text_of(file.record()),
                                                     field_definitions(arg_at(argc, args, 1)))));
}

CORELIB_COMMAND(db_open) { set_bool(result, open_from_args(argc, args)); }

CORELIB_COMMAND(db_open_closing_previous) {
  Database* before = database::current_database();
  bool ok = open_from_args(argc, args);
  if (ok && before && before != database::current_database()) database::close_database(before);
  set_bool(result, ok);
}

CORELIB_COMMAND(db_set_current) {
  Database* d = db::named(arg_at(argc, args, 0));
  if (d) database::set_current_database(d);
  set_bool(result, d != nullptr && db::done(0));
}

CORELIB_COMMAND(db_current_name) {
  if (Database* d = db::current()) {
    set_text(result, d->alias().empty() ? d->name() : d->alias());
    db::done(0);
  }
}

// Argument: a name, alias or path, or nothing for the current database.
CORELIB_COMMAND(db_close) {
  Database* d = given(argc, args, 0) ? db::named(arg_at(argc, args, 0)) : db::current();
  if (!d) return;
  database::close_database(d);
  db::done(0);
}

CORELIB_COMMAND(db_close_all) {
  database::close_all_databases();
  db::done(0);
}

CORELIB_COMMAND(db_current_path) {
  if (Database* d = db::current()) {
    set_text(result, d->full_path());
    db::done(0);
  }
}

CORELIB_COMMAND(db_is_open) {
  Arg name(arg_at(argc, args, 0));
  set_bool(result, database::find_database(text_of(name.record())) != nullptr);
}

CORELIB_COMMAND(db_record_count) {
  Database* d = db::current();
  int32_t count = 0;
  if (d && db::done(d->record_count(&count))) set_int(result, count);
}

CORELIB_COMMAND(db_created) {
  Database* d = db::current();
  set_double(result, d ? d->created() : 0.0);
  if (d) db::done(0);
}

CORELIB_COMMAND(db_flush) {
  if (Database* d = db::current()) db::done(d->flush());
}

CORELIB_COMMAND(db_flush_all) {
  int32_t rc = 0;
  for (Database* d : database::open_databases())
    if (int32_t r = d->flush(); r && !rc) rc = r;
  db::done(rc);
}

// Argument: a file name or the name of an open database.
CORELIB_COMMAND(db_is_protected) {
  Arg name(arg_at(argc, args, 0));
  set_bool(result, database::is_password_protected(text_of(name.record())));
}

// Argument: the new password (empty removes it).
CORELIB_COMMAND(db_set_password) {
  Database* d = db::current();
  Arg password(arg_at(argc, args, 0));
  set_bool(result, d && db::done(d->set_password(text_of(password.record()))));
}

// Arguments: the variable that receives the text, an optional prompt.
CORELIB_COMMAND(db_ask_password) {
  const ArgRecord& variable = arg_at(argc, args, 0);
  Arg prompt(arg_at(argc, args, 1));
  std::string text;
  bool confirmed = database::ask_password(prompt.type() == kTypeText ? text_of(prompt.record()) : "", "", text);
  if (confirmed && (variable.type & 0xC0000000u) == kVariableMark && variable.lo &&
      (variable.type & 0x3FFFFFFFu) == (kTypeText & 0x3FFFFFFFu)) {
    char** slot = reinterpret_cast<char**>(static_cast<uintptr_t>(variable.lo));
    char* copy = new_text(text);
    free_block(*slot);
    *slot = copy;
  }
  set_bool(result, confirmed);
}

// Argument: the name of another open database whose password the current one takes.
CORELIB_COMMAND(db_copy_password) {
  Database* d = db::current();
  Database* from = d ? db::named(arg_at(argc, args, 0)) : nullptr;
  set_bool(result, from && db::done(d->copy_password(*from)));
}

}  // namespace corelib
