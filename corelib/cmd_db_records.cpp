// Database commands on records: navigation and serials, deleting and undeleting (by
// condition), packing and clearing, finding by condition and seeking by the current index,
// modifying fields by condition, and appending another database's records.
//
// Condition and value arguments arrive as sub-statements: each is evaluated again for every
// record, with the record buffer set and the current record on it.
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/errors.h"
#include "runtime/errors.h"
#include "runtime/value_ops.h"

namespace corelib {

using namespace runtime;
using database::Database;
using database::Value;

namespace {

// A condition argument for the record at hand: a sub-statement evaluated now (it must give a
// logical value), or a logical value as it stands.
bool condition_holds(const ArgRecord& condition) {
  if (condition.type == kTypeSubStmt) return evaluate_condition(condition);
  if (condition.type != kTypeBool) raise_error("用作进行条件判断的子语句参数只能接受逻辑型数据", 0);
  return condition.lo != 0;
}

database::Database::Test test_of(const ArgRecord& condition) {
  return [&condition](bool* match) {
    *match = condition_holds(condition);
    return 0;
  };
}

// Delete or undelete: the current record, or every record the condition holds for.
bool set_deleted(int argc, ArgRecord* args, bool deleted) {
  Database* d = db::current();
  if (!d) return false;
  const ArgRecord& condition = arg_at(argc, args, 0);
  if (condition.type == kTypeNone) return db::done(d->set_deleted(deleted));
  return db::done(d->set_deleted_where(deleted, test_of(condition)));
}

bool answer(Database* d, int32_t rc) { return d && db::done(rc); }

// A value read from one database's field as a value for another's field of `type`: numbers
// convert among the numeric types, equal types pass, anything else gives the empty value.
Value converted(const Value& v, int32_t type) {
  if (v.type == type) return v;
  Value out;
  out.type = type;
  if (database::numeric_type(v.type) && database::numeric_type(type)) {
    bool from_float = v.type == database::kFloat || v.type == database::kDouble;
    bool to_float = type == database::kFloat || type == database::kDouble;
    if (to_float) out.number = from_float ? v.number : static_cast<double>(v.integer);
    else out.integer = from_float ? trunc64(v.number) : v.integer;
  } else if ((v.type == database::kText || v.type == database::kMemo) &&
             (type == database::kText || type == database::kMemo)) {
    out.bytes = v.bytes;
  } else if (type == database::kDateTime) {
    out.number = database::kEarliestDate;
  }
  return out;
}

}  // namespace

CORELIB_COMMAND(db_go_first) {
  if (Database* d = db::current()) db::done(d->go_first());
}

CORELIB_COMMAND(db_go_last) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->go_last() : 0));
}

// Argument: how many records to move (omitted = 1; negative moves back).
CORELIB_COMMAND(db_skip) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->skip(int_or(argc, args, 0, 1)) : 0));
}

// 1-based; 0 before the first record, the count + 1 after the last.
CORELIB_COMMAND(db_record_number) {
  if (Database* d = db::current()) {
    set_int(result, d->current() + 1);
    db::done(0);
  }
}

CORELIB_COMMAND(db_go_to) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->go_to(num_int(arg_at(argc, args, 0)) - 1) : 0));
}

CORELIB_COMMAND(db_serial) {
  Database* d = db::current();
  int32_t serial = 0;
  if (answer(d, d ? d->serial(&serial) : 0)) set_int(result, serial);
}

CORELIB_COMMAND(db_serial_exists) {
  Database* d = db::current();
  bool found = false;
  set_bool(result, answer(d, d ? d->find_serial(num_int(arg_at(argc, args, 0)), false, &found) : 0) && found);
}

CORELIB_COMMAND(db_go_to_serial) {
  Database* d = db::current();
  bool found = false;
  set_bool(result, answer(d, d ? d->find_serial(num_int(arg_at(argc, args, 0)), true, &found) : 0) && found);
}

CORELIB_COMMAND(db_before_first) {
  Database* d = db::current();
  bool at = false;
  set_bool(result, answer(d, d ? d->before_first(&at) : 0) && at);
}

CORELIB_COMMAND(db_after_last) {
  Database* d = db::current();
  bool at = false;
  set_bool(result, answer(d, d ? d->after_last(&at) : 0) && at);
}

CORELIB_COMMAND(db_is_deleted) {
  Database* d = db::current();
  bool deleted = false;
  set_bool(result, answer(d, d ? d->is_deleted(&deleted) : 0) && deleted);
}

CORELIB_COMMAND(db_delete) { set_bool(result, set_deleted(argc, args, true)); }
CORELIB_COMMAND(db_undelete) { set_bool(result, set_deleted(argc, args, false)); }

CORELIB_COMMAND(db_pack) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->pack() : 0));
}

CORELIB_COMMAND(db_clear) {
  Database* d = db::current();
  set_bool(result, answer(d, d ? d->clear() : 0));
}

// Argument: the condition. The first record from the current one on that passes it becomes
// current.
CORELIB_COMMAND(db_find) {
  Database* d = db::current();
  bool found = false;
  const ArgRecord& condition = arg_at(argc, args, 0);
  set_bool(result, answer(d, d ? d->find(test_of(condition), &found) : 0) && found);
}

// One value per key field of the current index.
CORELIB_COMMAND(db_seek) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  if (d->current_index() < 0) return set_bool(result, db::done(-69));
  std::vector<std::string> keys = d->index_fields(d->current_index());
  if (static_cast<size_t>(argc) != keys.size()) return set_bool(result, db::done(-73));
  std::vector<Value> values;
  for (int i = 0; i < argc; ++i) {
    int32_t f = d->find_field(keys[static_cast<size_t>(i)]);
    Value v;
    if (f < 0 || !db::value_of(args[i], d->field(f).type, &v)) return set_bool(result, db::done(-72));
    values.push_back(std::move(v));
  }
  bool found = false;
  set_bool(result, db::done(d->seek(values, &found)) && found);
}

// Arguments: an optional condition, then pairs of field name (a text) and value. Without a
// condition the current record changes; with one, every record it holds for.
CORELIB_COMMAND(db_modify) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  std::vector<std::pair<int32_t, const ArgRecord*>> pairs;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (args[i].type != kTypeText) db::wrong_argument_type();
    int32_t f = d->find_field(text_of(args[i]));
    if (f < 0) return set_bool(result, db::done(-61));
    pairs.emplace_back(f, &args[i + 1]);
  }
  auto write_all = [&]() -> int32_t {
    for (auto [f, value] : pairs) {
      Value v;
      if (!db::value_of(*value, d->field(f).type, &v)) return -72;
      if (int32_t rc = d->write_field(f, v)) return rc;
    }
    return 0;
  };
  const ArgRecord& condition = arg_at(argc, args, 0);
  if (condition.type == kTypeNone) {
    if (d->current() < 0) return set_bool(result, db::done(-60));
    return set_bool(result, db::done(write_all()));
  }
  int32_t rc = d->scan([&](int32_t) { return condition_holds(condition) ? write_all() : 0; });
  set_bool(result, db::done(rc));
}

// Arguments: the name of another open database, an optional condition (evaluated on that
// database's records). Fields are matched by name; fields the other database lacks get
// their empty value, and its fields this one lacks are left out.
CORELIB_COMMAND(db_append_from) {
  Database* d = db::current();
  Database* from = d ? db::named(arg_at(argc, args, 0)) : nullptr;
  if (!from) return set_bool(result, false);
  std::vector<int32_t> source(static_cast<size_t>(d->field_count()));
  for (int32_t f = 0; f < d->field_count(); ++f) source[static_cast<size_t>(f)] = from->find_field(d->field_name(f));
  const ArgRecord& condition = arg_at(argc, args, 1);
  int32_t rc = from->scan([&](int32_t) -> int32_t {
    if (condition.type != kTypeNone && !condition_holds(condition)) return 0;
    std::vector<Value> values;
    for (int32_t f = 0; f < d->field_count(); ++f) {
      Value v;
      v.type = d->field(f).type;
      if (v.type == database::kDateTime) v.number = database::kEarliestDate;
      if (int32_t s = source[static_cast<size_t>(f)]; s >= 0) {
        Value read;
        if (int32_t e = from->read_field(s, read)) return e;
        v = converted(read, v.type);
      }
      values.push_back(std::move(v));
    }
    return d->append_values(values);
  });
  set_bool(result, db::done(rc));
}

}  // namespace corelib
