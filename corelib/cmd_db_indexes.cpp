// Database commands on index files and locks: create, choose and rebuild indexes and ask about
// them; the lock retry time, and database, count and record locks.
#include <string_view>
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/errors.h"
#include "database/lock_retry.h"

namespace corelib {

using namespace runtime;
using database::Database;

namespace {

bool answer(Database* d, int32_t rc) { return d && db::done(rc); }

// The 0-based index a 1-based number names; -1 after recording -69.
int32_t index_of(Database& d, const ArgRecord& number) {
  int32_t i = num_int(number) - 1;
  if (i >= 0 && i < d.index_count()) return i;
  database::set_last_error(-69);
  return -1;
}

// Locks or unlocks the records numbered (1-based) by every argument; stops at the first
// failure.
bool each_record(Database* d, int argc, ArgRecord* args, int32_t (Database::*op)(int32_t)) {
  if (!d) return false;
  int32_t rc = 0;
  for (int i = 0; i < argc && rc == 0; ++i) rc = (d->*op)(num_int(args[i]) - 1);
  return db::done(rc);
}

}  // namespace

// Arguments: the index file name, sort order, key flags, page factor, key field names.
CORELIB_COMMAND(db_create_index) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  database::IndexSpec spec;
  spec.file = text_of(Arg(arg_at(argc, args, 0)).record());
  spec.sort_mode = int_or(argc, args, 1, 0);
  spec.key_flags = int_or(argc, args, 2, 0);
  spec.page_factor = int_or(argc, args, 3, 1);
  spec.fields = db::names_from(argc, args, 4);
  set_bool(result, db::done(d->create_index(spec)));
}

CORELIB_COMMAND(db_set_current_index) {
  Database* d = db::current();
  Arg name(arg_at(argc, args, 0));
  set_bool(result, answer(d, d ? d->set_current_index(text_of(name.record())) : 0));
}

CORELIB_COMMAND(db_current_index_name) {
  Database* d = db::current();
  if (!d) return;
  if (d->current_index() < 0) {
    db::done(-69);
    return;
  }
  set_text(result, d->index_name(d->current_index()));
  db::done(0);
}

CORELIB_COMMAND(db_reindex) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->reindex() : 0));
}

CORELIB_COMMAND(db_index_count) {
  if (Database* d = db::current()) {
    set_int(result, d->index_count());
    db::done(0);
  }
}

CORELIB_COMMAND(db_index_name) {
  Database* d = db::current();
  int32_t i = d ? index_of(*d, arg_at(argc, args, 0)) : -1;
  if (i < 0) return;
  set_text(result, d->index_name(i));
  db::done(0);
}

// Result: the key field names of an index, as a text array.
CORELIB_COMMAND(db_index_fields) {
  Database* d = db::current();
  int32_t i = d ? index_of(*d, arg_at(argc, args, 0)) : -1;
  if (i < 0) return;
  std::vector<std::string> names = d->index_fields(i);
  std::vector<std::string_view> views(names.begin(), names.end());
  set_text_array(result, views.data(), views.size());
  db::done(0);
}

// Argument: seconds (omitted = 0: fail at once; negative: retry without limit).
CORELIB_COMMAND(db_set_retry_time) {
  double seconds = given(argc, args, 0) ? num_double(arg_at(argc, args, 0)) : 0;
  int32_t ms = seconds < 0 ? -1 : seconds * 1000 > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(seconds * 1000);
  database::set_lock_retry_time(ms);
}

CORELIB_COMMAND(db_lock) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->lock_database() : 0));
}

CORELIB_COMMAND(db_unlock) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->unlock_database() : 0));
}

CORELIB_COMMAND(db_lock_count) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->lock_count() : 0));
}

CORELIB_COMMAND(db_unlock_count) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->unlock_count() : 0));
}

CORELIB_COMMAND(db_lock_records) {
  set_bool(result, each_record(db::current(), argc, args, &Database::lock_record));
}

CORELIB_COMMAND(db_unlock_records) {
  set_bool(result, each_record(db::current(), argc, args, &Database::unlock_record));
}

CORELIB_COMMAND(db_unlock_all) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->unlock_all() : 0));
}

}  // namespace corelib
