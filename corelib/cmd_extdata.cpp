// External database unit methods (slots 539-555, 573, 574): the first argument is the unit
// reference; the work is the unit's (extdata/database.h), done through the provider module.
// A reference to no live external database unit gives the neutral answer.
#include <deque>
#include <string>
#include <vector>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "extdata/extdata.h"

namespace corelib {

namespace {

using extdata::Database;
using runtime::kTypeBin;
using runtime::kTypeNone;
using runtime::kTypeText;

Database* unit_of(int argc, ArgRecord* args) {
  const ArgRecord& u = arg_at(argc, args, 0);
  return u.type == kTypeNone ? nullptr : extdata::database_of(u.lo, u.hi);
}

// A text argument read for the length of one call; null when it was omitted.
class TextArg {
 public:
  TextArg(int argc, ArgRecord* args, int i) : arg_(arg_at(argc, args, i)) {}
  const char* or_null() const { return arg_.given() ? text_of(arg_.record()) : nullptr; }
  std::string text() const { return text_of(arg_.record()); }

 private:
  Arg arg_;
};

bool prompt_at(int argc, ArgRecord* args, int i) { return bool_or(argc, args, i, false); }

// The record-set methods that take just a name.
template <bool (Database::*method)(const char*)>
void set_method(ResultRecord* result, int argc, ArgRecord* args, bool neutral) {
  Database* db = unit_of(argc, args);
  TextArg name(argc, args, 1);
  set_bool(result, db ? (db->*method)(name.or_null()) : neutral);
}

void move(ResultRecord* result, int argc, ArgRecord* args, Database::Move how) {
  Database* db = unit_of(argc, args);
  TextArg name(argc, args, 1);
  set_bool(result, db && db->move(name.or_null(), how));
}

}  // namespace

CORELIB_COMMAND(extdb_connect) {
  Database* db = unit_of(argc, args);
  TextArg connect(argc, args, 1), default_db(argc, args, 2);
  set_bool(result, db && db->connect(connect.or_null(), default_db.or_null(),
                                     prompt_at(argc, args, 3)));
}

CORELIB_COMMAND(extdb_connect_access) {
  Database* db = unit_of(argc, args);
  TextArg path(argc, args, 1), user(argc, args, 2), password(argc, args, 3),
      default_db(argc, args, 4);
  set_bool(result, db && db->connect_access(path.text(), user.text(), password.text(),
                                            default_db.or_null(), prompt_at(argc, args, 5)));
}

CORELIB_COMMAND(extdb_connect_sql_server) {
  Database* db = unit_of(argc, args);
  TextArg server(argc, args, 1), user(argc, args, 2), password(argc, args, 3),
      database(argc, args, 4), default_db(argc, args, 5);
  set_bool(result, db && db->connect_sql_server(server.text(), user.text(), password.text(),
                                                database.text(), default_db.or_null(),
                                                prompt_at(argc, args, 6)));
}

CORELIB_COMMAND(extdb_disconnect) {
  if (Database* db = unit_of(argc, args)) db->disconnect();
  (void)result;
}

CORELIB_COMMAND(extdb_connect_string) {
  Database* db = unit_of(argc, args);
  set_text(result, db ? db->connect_string() : std::string());
}

CORELIB_COMMAND(extdb_begin_transaction) {
  Database* db = unit_of(argc, args);
  set_bool(result, db && db->begin_transaction());
}

CORELIB_COMMAND(extdb_rollback_transaction) {
  Database* db = unit_of(argc, args);
  set_bool(result, db && db->rollback_transaction());
}

CORELIB_COMMAND(extdb_commit_transaction) {
  Database* db = unit_of(argc, args);
  set_bool(result, db && db->commit_transaction());
}

CORELIB_COMMAND(extdb_open_set) {
  Database* db = unit_of(argc, args);
  TextArg sql(argc, args, 1), name(argc, args, 2);
  set_bool(result, db && db->open_set(sql.or_null(), name.or_null()));
}

CORELIB_COMMAND(extdb_requery) { set_method<&Database::requery>(result, argc, args, false); }
CORELIB_COMMAND(extdb_close_set) { set_method<&Database::close_set>(result, argc, args, false); }
// With nothing to stand on, both end tests answer true.
CORELIB_COMMAND(extdb_before_first) {
  set_method<&Database::before_first>(result, argc, args, true);
}
CORELIB_COMMAND(extdb_after_last) {
  set_method<&Database::after_last>(result, argc, args, true);
}
CORELIB_COMMAND(extdb_move_first) { move(result, argc, args, Database::Move::kFirst); }
CORELIB_COMMAND(extdb_move_last) { move(result, argc, args, Database::Move::kLast); }
CORELIB_COMMAND(extdb_move_previous) { move(result, argc, args, Database::Move::kPrevious); }
CORELIB_COMMAND(extdb_move_next) { move(result, argc, args, Database::Move::kNext); }

// A text second argument names the column; a number counts columns from 1.
CORELIB_COMMAND(extdb_read_column) {
  Database* db = unit_of(argc, args);
  TextArg name(argc, args, 1);
  Arg column(arg_at(argc, args, 2));
  if (!db) {
    extdata::column_to_value({}, result);
  } else if (column.type() == kTypeText) {
    db->read_column(name.or_null(), text_of(column.record()), result);
  } else if (is_numeric(column.type())) {
    db->read_column(name.or_null(), num_int(column.record()) - 1, result);
  } else {
    extdata::column_to_value({}, result);
  }
}

// Texts pass as (text, -1), byte sets as (bytes, length); other arguments are skipped.
CORELIB_COMMAND(extdb_execute) {
  Database* db = unit_of(argc, args);
  TextArg sql(argc, args, 1);
  std::deque<Arg> held;
  std::vector<sqlbridge::SqlParam> params;
  for (int i = 2; i < argc; ++i) {
    const Arg& a = held.emplace_back(args[i]);
    if (a.type() == kTypeText) {
      params.push_back({a.record().lo, sqlbridge::kTextParam});
      if (!a.record().lo) params.back().data = reinterpret_cast<uintptr_t>("");
    } else if (a.type() == kTypeBin) {
      std::string_view bytes = bin_of(a.record());
      params.push_back({static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes.data())),
                        static_cast<int32_t>(bytes.size())});
    }
  }
  set_bool(result, db && db->execute(sql.or_null(), params));
}

}  // namespace corelib
