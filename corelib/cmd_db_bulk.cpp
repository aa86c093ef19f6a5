// Database commands over many records: aggregates (average, sum, maximum, minimum, latest,
// earliest, count), and copying the structure or the records into a new database, sorted by
// an expression or by key fields.
//
// Sort by key fields (slots 380 and 381, whose arguments are this library's own choice):
// new file name; key field names (texts or text arrays in one argument); an optional
// condition; the fields to copy (none = all). 380 sorts ascending, 381 descending; keys
// compare as index keys do, part by part.
#include <algorithm>
#include <cstring>
#include "corelib/commands.h"
#include "corelib/db_support.h"
#include "database/copy.h"
#include "database/errors.h"
#include "database/index_format.h"
#include "runtime/errors.h"
#include "runtime/value_ops.h"

namespace corelib {

using namespace runtime;
using database::Database;

namespace {

enum class Aggregate { kAverage, kSum, kMaximum, kMinimum, kLatest, kEarliest, kCount };

bool condition_holds(const ArgRecord& condition) {
  if (condition.type == kTypeNone) return true;
  if (condition.type == kTypeSubStmt) return evaluate_condition(condition);
  if (condition.type != kTypeBool) raise_error("用作进行条件判断的子语句参数只能接受逻辑型数据", 0);
  return condition.lo != 0;
}

// A value expression's number for this record; a value of another kind is -76 and stops the
// program with the argument error.
double expression_value(const ArgRecord& expression, bool date) {
  Arg v(expression);
  bool fits = date ? v.type() == kTypeDateTime : is_numeric(v.type());
  if (!fits) {
    database::set_last_error(-76);
    raise_error("所提供参数的数据类型不符合要求", 0);
  }
  return num_double(v.record());
}

void aggregate(ResultRecord* result, int argc, ArgRecord* args, Aggregate kind) {
  const bool counting = kind == Aggregate::kCount;
  const bool extreme = kind != Aggregate::kAverage && kind != Aggregate::kSum && !counting;
  const bool date = kind == Aggregate::kLatest || kind == Aggregate::kEarliest;
  const bool larger = kind == Aggregate::kMaximum || kind == Aggregate::kLatest;
  Database* d = db::current();
  const ArgRecord& expression = arg_at(argc, args, 0);
  const ArgRecord& condition = arg_at(argc, args, counting ? 0 : 1);
  double total = 0, best = 0;
  int32_t used = 0, best_record = -1;
  int32_t rc = !d ? -67 : d->scan([&](int32_t record) -> int32_t {
    if (!condition_holds(condition)) return 0;
    ++used;
    if (counting) return 0;
    double v = expression_value(expression, date);
    total += v;
    if (best_record < 0 || (larger ? v > best : v < best)) {
      best = v;
      best_record = record;
    }
    return 0;
  });
  if (rc) {
    db::done(rc);
    return counting ? set_int(result, 0) : set_double(result, 0);
  }
  db::done(0);
  if (extreme && best_record >= 0) d->set_current(best_record);  // on the record that gave it
  switch (kind) {
    case Aggregate::kCount: return set_int(result, used);
    case Aggregate::kSum: return set_double(result, total);
    case Aggregate::kAverage: return set_double(result, used > 1 ? total / used : total);
    default: return set_double(result, best_record >= 0 ? best : 0);
  }
}

// The fields a copy takes: those named that exist (in the order named), or all of them.
std::vector<int32_t> chosen_fields(Database& d, int argc, ArgRecord* args, int first) {
  std::vector<int32_t> fields;
  std::vector<std::string> names = db::names_from(argc, args, first);
  for (const std::string& name : names)
    if (int32_t f = d.find_field(name); f >= 0) fields.push_back(f);
  if (names.empty())
    for (int32_t f = 0; f < d.field_count(); ++f) fields.push_back(f);
  return fields;
}

// Copies the records numbered in `order` (0-based) into `out` under the database lock, then
// puts the current record back.
int32_t copy_in_order(Database& d, database::CopyWriter& out, const std::vector<int32_t>& order) {
  int32_t before = d.current();
  int32_t rc = d.lock_database();
  for (size_t i = 0; i < order.size() && rc == 0; ++i) {
    d.set_current(order[i]);
    rc = out.add_current();
  }
  d.unlock_database();
  d.set_current(before);
  return rc;
}

// Sort into a new database by the key fields named in argument 1.
void sort_by_fields(ResultRecord* result, int argc, ArgRecord* args, bool ascending) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  database::KeyShape shape;
  std::vector<int32_t> keys;
  for (const std::string& name : db::names_from(argc, args, 1) ) {
    int32_t f = d->find_field(name);
    if (f < 0 || database::chained_type(d->field(f).type) || shape.count == database::kMaxKeyParts)
      return set_bool(result, db::done(-71));
    const database::FieldDescriptor& fd = d->field(f);
    shape.types[shape.count++] = fd.type == database::kText ? -fd.text_size : fd.type;
    keys.push_back(f);
  }
  if (keys.empty()) return set_bool(result, db::done(-71));
  const int32_t key_length = shape.length();
  const ArgRecord& condition = arg_at(argc, args, 2);
  std::vector<int32_t> records;
  std::string key_bytes;  // records.size() keys of key_length bytes
  int32_t rc = d->scan([&](int32_t record) -> int32_t {
    if (!condition_holds(condition)) return 0;
    const uint8_t* bytes = d->record_buffer();
    for (int32_t f : keys) {
      const database::FieldDescriptor& fd = d->field(f);
      key_bytes.append(reinterpret_cast<const char*>(bytes) + fd.offset,
                       static_cast<size_t>(database::field_size(fd.type, fd.text_size)));
    }
    records.push_back(record);
    return 0;
  });
  if (rc) return set_bool(result, db::done(rc));
  std::vector<size_t> order(records.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto key = [&](size_t i) { return reinterpret_cast<const uint8_t*>(key_bytes.data()) + i * size_t(key_length); };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    int c = database::compare_keys(shape, key(a), key(b));
    return ascending ? c < 0 : c > 0;
  });
  std::vector<int32_t> sorted;
  for (size_t i : order) sorted.push_back(records[i]);
  database::CopyWriter out;
  Arg file(arg_at(argc, args, 0));
  rc = out.create(*d, text_of(file.record()), chosen_fields(*d, argc, args, 3));
  if (!rc) rc = copy_in_order(*d, out, sorted);
  if (!rc) rc = out.finish();
  set_bool(result, db::done(rc));
}

}  // namespace

CORELIB_COMMAND(db_average) { aggregate(result, argc, args, Aggregate::kAverage); }
CORELIB_COMMAND(db_sum) { aggregate(result, argc, args, Aggregate::kSum); }
CORELIB_COMMAND(db_maximum) { aggregate(result, argc, args, Aggregate::kMaximum); }
CORELIB_COMMAND(db_minimum) { aggregate(result, argc, args, Aggregate::kMinimum); }
CORELIB_COMMAND(db_latest) { aggregate(result, argc, args, Aggregate::kLatest); }
CORELIB_COMMAND(db_earliest) { aggregate(result, argc, args, Aggregate::kEarliest); }
CORELIB_COMMAND(db_count) { aggregate(result, argc, args, Aggregate::kCount); }

// Arguments: the new file name, the fields to copy (none = all).
CORELIB_COMMAND(db_copy_structure) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  database::CopyWriter out;
  Arg file(arg_at(argc, args, 0));
  int32_t rc = out.create(*d, text_of(file.record()), chosen_fields(*d, argc, args, 1));
  if (!rc) rc = out.finish();
  set_bool(result, db::done(rc));
}

// Arguments: the new file name, an optional condition, the fields to copy.
CORELIB_COMMAND(db_copy_records) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  database::CopyWriter out;
  Arg file(arg_at(argc, args, 0));
  const ArgRecord& condition = arg_at(argc, args, 1);
  int32_t rc = out.create(*d, text_of(file.record()), chosen_fields(*d, argc, args, 2));
  if (!rc) rc = d->scan([&](int32_t) { return condition_holds(condition) ? out.add_current() : 0; });
  if (!rc) rc = out.finish();
  set_bool(result, db::done(rc));
}

// Arguments: the new file name, the sort key expression, ascending (omitted = true), an
// optional condition, the fields to copy.
CORELIB_COMMAND(db_sort_records) {
  Database* d = db::current();
  if (!d) return set_bool(result, false);
  const ArgRecord& expression = arg_at(argc, args, 1);
  bool ascending = bool_or(argc, args, 2, true);
  const ArgRecord& condition = arg_at(argc, args, 3);
  std::vector<std::pair<double, int32_t>> keyed;
  int32_t rc = d->scan([&](int32_t record) -> int32_t {
    if (condition_holds(condition)) keyed.emplace_back(expression_value(expression, false), record);
    return 0;
  });
  if (rc) return set_bool(result, db::done(rc));
  std::sort(keyed.begin(), keyed.end(), [ascending](const auto& a, const auto& b) {
    return ascending ? a.first < b.first : a.first > b.first;
  });
  std::vector<int32_t> order;
  for (const auto& k : keyed) order.push_back(k.second);
  database::CopyWriter out;
  Arg file(arg_at(argc, args, 0));
  rc = out.create(*d, text_of(file.record()), chosen_fields(*d, argc, args, 4));
  if (!rc) rc = copy_in_order(*d, out, order);
  if (!rc) rc = out.finish();
  set_bool(result, db::done(rc));
}

CORELIB_COMMAND(db_sort_by_fields) { sort_by_fields(result, argc, args, true); }
CORELIB_COMMAND(db_sort_by_fields_descending) { sort_by_fields(result, argc, args, false); }

}  // namespace corelib
