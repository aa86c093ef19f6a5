// The tool's commands on the engine: info, dump, check, repair, create, import and index.
#include "vdbtool/commands.h"
#include <windows.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include "database/create.h"
#include "database/engine.h"
#include "database/indexes.h"
#include "database/names.h"
#include "vdbtool/csv.h"
#include "vdbtool/output.h"

namespace vdbtool {

using namespace database;

namespace {

struct TypeName {
  int32_t code;
  const char* name;
};
constexpr TypeName kTypes[] = {
    {kByte, "byte"},     {kShort, "short"},   {kInt, "int"},     {kLong, "long"},
    {kFloat, "float"},   {kDouble, "double"}, {kBool, "bool"},   {kDateTime, "datetime"},
    {kSubPtr, "subptr"}, {kText, "text"},     {kBytes, "bin"},   {kMemo, "memo"},
};

const char* type_name(int32_t code) {
  for (const TypeName& t : kTypes)
    if (t.code == code) return t.name;
  return "?";
}

// A type by code 1..12 or English name; 0 when neither.
int32_t type_code(const std::string& s) {
  for (const TypeName& t : kTypes)
    if (_stricmp(t.name, s.c_str()) == 0) return t.code;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  return (!s.empty() && *end == 0 && valid_type(static_cast<int32_t>(v))) ? static_cast<int32_t>(v) : 0;
}

// An open database closed when the command ends.
class Opened {
 public:
  int32_t open(const Options& o, bool write, bool with_indexes, int32_t share = 1) {
    OpenOptions oo;
    oo.file = o.db;
    oo.read_only = !write;
    oo.share = share;
    oo.password = o.password;
    if (with_indexes) oo.indexes = o.indexes;
    return open_database(oo, &db_);
  }
  ~Opened() {
    if (db_) close_database(db_);
  }
  Database* operator->() { return db_; }
  Database* get() { return db_; }

 private:
  Database* db_ = nullptr;
};

int open_error(const Options& o, int32_t rc) {
  return fail("cannot open " + utf8_from_gbk(o.db) + ": " + code_text(rc));
}

std::string field_name_utf8(Database* db, int32_t f) { return utf8_from_gbk(db->field_name(f)); }

// A value as text for the terminal (UTF-8); `json` quotes what is not a number.
std::string value_text(const Value& v, bool json) {
  auto quoted = [&](const std::string& s) { return json ? json_string(s) : s; };
  switch (v.type) {
    case kByte: case kShort: case kInt: case kLong: case kSubPtr: return std::to_string(v.integer);
    case kFloat: case kDouble:
      if (!std::isfinite(v.number)) return json ? "null" : format("%g", v.number);
      return format(v.type == kFloat ? "%.9g" : "%.17g", v.number);
    case kBool: return v.integer ? "true" : "false";
    case kDateTime: return quoted(date_text(v.number));
    case kText: case kMemo: return quoted(utf8_from_gbk(v.bytes));
    case kBytes: return quoted(hex(v.bytes));
    default: return json ? "null" : "";
  }
}

// A cell of an imported row as the value of field `d`: false with `why` when it is not one.
bool parse_value(const FieldDescriptor& d, const std::string& cell, Value* v, std::string* why) {
  char* end = nullptr;
  switch (d.type) {
    case kByte: case kShort: case kInt: case kLong: case kSubPtr: {
      if (cell.empty()) {
        *v = Value::of_int(d.type, 0);
        return true;
      }
      errno = 0;
      long long n = std::strtoll(cell.c_str(), &end, 10);
      long long lo = d.type == kByte ? 0 : d.type == kShort ? -32768 : d.type == kInt ? INT32_MIN : d.type == kSubPtr ? 0 : LLONG_MIN;
      long long hi = d.type == kByte ? 255 : d.type == kShort ? 32767 : d.type == kInt ? INT32_MAX : d.type == kSubPtr ? UINT32_MAX : LLONG_MAX;
      if (*end || errno || n < lo || n > hi) {
        *why = "not an integer of the field's range";
        return false;
      }
      *v = Value::of_int(d.type, n);
      return true;
    }
    case kFloat: case kDouble: {
      double x = cell.empty() ? 0 : std::strtod(cell.c_str(), &end);
      if (!cell.empty() && *end) {
        *why = "not a number";
        return false;
      }
      *v = Value::of_number(d.type, x);
      return true;
    }
    case kBool: {
      if (cell.empty() || _stricmp(cell.c_str(), "false") == 0 || cell == "0") *v = Value::of_bool(false);
      else if (_stricmp(cell.c_str(), "true") == 0 || cell == "1") *v = Value::of_bool(true);
      else {
        *why = "not true, false, 1 or 0";
        return false;
      }
      return true;
    }
    case kDateTime: {
      double x = 0;
      if (!cell.empty() && !parse_date(cell, &x)) {
        *why = "not a date (YYYY-MM-DD [HH:MM[:SS]]) or a day number";
        return false;
      }
      *v = Value::of_number(kDateTime, x);
      return true;
    }
    case kText: case kMemo: {
      std::string gbk;
      if (!gbk_from_utf8(cell, &gbk)) gbk = cell;  // not UTF-8: taken as GBK bytes
      if (d.type == kText && gbk.size() > static_cast<size_t>(d.text_size)) {
        *why = format("%u bytes, the field holds %d", unsigned(gbk.size()), d.text_size);
        return false;
      }
      if (gbk.find('\0') != std::string::npos) {
        *why = "a text with a zero byte";
        return false;
      }
      *v = Value::of_bytes(d.type, gbk);
      return true;
    }
    case kBytes: {
      std::string bytes;
      if (!unhex(cell, &bytes)) {
        *why = "not hexadecimal bytes";
        return false;
      }
      *v = Value::of_bytes(kBytes, bytes);
      return true;
    }
    default:
      *why = "a field of unknown type";
      return false;
  }
}

}  // namespace

int fail(const std::string& what) {
  err("vdbtool: " + what + "\n");
  return kError;
}

int run_info(const Options& o) {
  Opened db;
  if (int32_t rc = db.open(o, false, true)) return open_error(o, rc);
  int32_t count = 0, next = 0, deleted = 0;
  db->counts(&count, &next);
  db->scan([&](int32_t) {
    bool d = false;
    db->is_deleted(&d);
    deleted += d;
    return 0;
  });
  std::string s;
  s += "file       " + utf8_from_gbk(db->full_path()) + "\n";
  s += format("format     %s, version 0x%x\n", db->has_password() ? "protected (WCDB)" : "plain (WVDB)", db->version());
  s += "created    " + date_text(db->created()) + "\n";
  s += format("records    %d (%d deleted), next serial %d\n", count, deleted, next);
  s += format("record     %d bytes, records from offset %u\n", db->record_length(), db->data_start());
  if (db->has_aux()) {
    AuxHeader a{};
    db->aux().read_exact(0, &a, sizeof a, -35);
    s += format("aux file   %d blocks of 512 bytes, %d free\n", a.block_count, a.free_count);
  }
  s += format("fields     %d\n", db->field_count());
  for (int32_t f = 0; f < db->field_count(); ++f) {
    const FieldDescriptor& d = db->field(f);
    s += format("  %2d  %-16s %-8s %5d bytes at %d\n", f + 1, field_name_utf8(db.get(), f).c_str(), type_name(d.type),
                db->field_size(f), d.offset);
  }
  for (int32_t i = 0; i < db->index_count(); ++i) {
    const IndexHeader& h = db->index(i).tree.header();
    std::string fields;
    for (const std::string& n : db->index_fields(i)) fields += (fields.empty() ? "" : ", ") + utf8_from_gbk(n);
    int32_t entries = 0;
    db->index(i).tree.scan([&](int32_t, const uint8_t*) {
      ++entries;
      return true;
    });
    s += format("index      %s (%s): sort mode %d, key flags %d, %d-byte pages (%d, %d free), key %d bytes, %d entries\n",
                utf8_from_gbk(db->index_name(i)).c_str(), fields.c_str(), h.sort_mode, h.key_flags, h.page_size,
                h.page_count, h.free_count, h.key_length, entries);
  }
  out(s);
  return kOk;
}

int run_dump(const Options& o) {
  if (o.format != "csv" && o.format != "json") return fail("--format is csv or json, not " + o.format);
  Opened db;
  if (int32_t rc = db.open(o, false, true)) return open_error(o, rc);
  const bool json = o.format == "json";
  std::string s;
  std::string text;
  int32_t n = 0;
  auto row = [&](int32_t) {
    int32_t serial = 0;
    bool deleted = false;
    db->serial(&serial);
    db->is_deleted(&deleted);
    if (json) {
      s += (n ? ",\n  {" : "\n  {") + format("\"#serial\": %d, \"#deleted\": %s", serial, deleted ? "true" : "false");
    } else {
      s += format("%d,%d", serial, deleted ? 1 : 0);
    }
    for (int32_t f = 0; f < db->field_count(); ++f) {
      Value v;
      int32_t rc = db->read_field(f, v);
      if (rc) return rc;
      if (json) s += ", " + json_string(field_name_utf8(db.get(), f)) + ": " + value_text(v, true);
      else s += "," + csv_cell(value_text(v, false));
    }
    s += json ? "}" : "\r\n";
    ++n;
    if (s.size() > (1u << 20)) {
      out(s);
      s.clear();
    }
    return 0;
  };
  if (json) s += "{\"file\": " + json_string(utf8_from_gbk(db->full_path())) + ",\n \"records\": [";
  else {
    s += "#serial,#deleted";
    for (int32_t f = 0; f < db->field_count(); ++f) s += "," + csv_cell(field_name_utf8(db.get(), f));
    s += "\r\n";
  }
  int32_t rc = 0;
  if (db->index_count() > 0) {
    // In the order of the first index named.
    std::vector<int32_t> order;
    rc = db->index(0).tree.scan([&](int32_t record, const uint8_t*) {
      order.push_back(record);
      return true;
    });
    for (size_t i = 0; i < order.size() && rc == 0; ++i) {
      db->set_current(order[i]);
      rc = row(order[i]);
    }
  } else {
    rc = db->scan(row);
  }
  if (json) s += "\n ]}\n";
  out(s);
  if (rc) return fail("reading a record failed: " + code_text(rc));
  return kOk;
}

int run_check(const Options& o) {
  std::vector<Fault> faults;
  std::string summary;
  int32_t rc = check_files(o, &faults, &summary);
  if (rc) return open_error(o, rc);
  std::string s;
  for (const Fault& f : faults) s += "fault: " + f.place + ": " + f.what + "\n";
  s += (faults.empty() ? "ok: " : format("%u faults; ", unsigned(faults.size()))) + summary + "\n";
  out(s);
  return faults.empty() ? kOk : kFaults;
}

int run_repair(const Options& o) {
  std::vector<std::string> done;
  int32_t rc = repair_files(o, &done);
  std::string s;
  for (const std::string& d : done) s += "repaired: " + d + "\n";
  out(s);
  if (rc) return fail("repair stopped: " + code_text(rc));
  std::vector<Fault> faults;
  std::string summary;
  if ((rc = check_files(o, &faults, &summary))) return open_error(o, rc);
  s.clear();
  for (const Fault& f : faults) s += "fault left: " + f.place + ": " + f.what + "\n";
  s += (faults.empty() ? "ok: " : format("%u faults left; ", unsigned(faults.size()))) + summary + "\n";
  out(s);
  return faults.empty() ? kOk : kFaults;
}

int run_create(const Options& o) {
  if (o.rest.empty()) return fail("create needs at least one field: name:type or name:text:size");
  std::vector<FieldDef> defs;
  for (const std::string& spec : o.rest) {
    size_t c1 = spec.find(':');
    if (c1 == std::string::npos || c1 == 0) return fail("field " + utf8_from_gbk(spec) + ": expected name:type or name:text:size");
    size_t c2 = spec.find(':', c1 + 1);
    FieldDef d;
    d.name = spec.substr(0, c1);
    d.type = type_code(spec.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1));
    if (d.type == 0) return fail("field " + utf8_from_gbk(spec) + ": unknown type (1-12, or byte, short, int, long, float, double, bool, datetime, subptr, text, bin, memo)");
    if (d.type == kText) {
      if (c2 == std::string::npos) return fail("field " + utf8_from_gbk(spec) + ": a text field needs its size, name:text:size");
      char* end = nullptr;
      d.size = static_cast<int32_t>(std::strtol(spec.c_str() + c2 + 1, &end, 10));
      if (*end) return fail("field " + utf8_from_gbk(spec) + ": the size is not a number");
    } else if (c2 != std::string::npos) {
      return fail("field " + utf8_from_gbk(spec) + ": only text fields take a size");
    }
    defs.push_back(d);
  }
  int32_t rc = create_database(o.db, defs);
  if (rc) return fail("cannot create " + utf8_from_gbk(o.db) + ": " + code_text(rc));
  if (!o.password.empty()) {
    Opened db;
    Options plain = o;
    plain.password.clear();
    if ((rc = db.open(plain, true, false, 4)) || (rc = db->set_password(o.password)))
      return fail("created, but the password was not set: " + code_text(rc));
  }
  out(format("created %s with %u fields\n", utf8_from_gbk(with_default_extension(o.db, "VDB")).c_str(), unsigned(defs.size())));
  return kOk;
}

int run_import(const Options& o) {
  if (o.rest.size() != 1) return fail("import needs one CSV file: vdbtool import DB FILE.csv");
  std::string content;
  {
    DbFile f;
    uint64_t size = 0;
    if (int32_t rc = f.open(o.rest[0], false, Share::kDenyWrite)) return fail("cannot read " + utf8_from_gbk(o.rest[0]) + ": " + code_text(rc));
    if (f.size(&size) || size > (1ull << 30)) return fail("cannot read " + utf8_from_gbk(o.rest[0]));
    content.assign(size_t(size), '\0');
    if (f.read_exact(0, content.data(), uint32_t(size), -15)) return fail("cannot read " + utf8_from_gbk(o.rest[0]));
  }
  std::vector<std::vector<std::string>> rows;
  std::string why;
  if (!parse_csv(content, &rows, &why)) return fail(utf8_from_gbk(o.rest[0]) + ": " + why);
  if (rows.empty()) return fail(utf8_from_gbk(o.rest[0]) + ": no header row");
  Opened db;
  if (int32_t rc = db.open(o, true, true, 4)) return open_error(o, rc);
  // The header names the field of each column; "#deleted" marks deleted records, other
  // columns starting with "#" are skipped.
  std::vector<int32_t> column_field;
  int32_t deleted_column = -1;
  for (size_t c = 0; c < rows[0].size(); ++c) {
    const std::string& name = rows[0][c];
    if (name == "#deleted") deleted_column = static_cast<int32_t>(c);
    std::string gbk;
    if (!gbk_from_utf8(name, &gbk)) gbk = name;
    int32_t f = name.empty() || name[0] == '#' ? -1 : db->find_field(gbk);
    if (f < 0 && !name.empty() && name[0] != '#') return fail("column " + name + ": no such field");
    column_field.push_back(f);
  }
  // Every row is checked before anything is added: a bad row adds nothing.
  std::vector<std::vector<Value>> values;
  std::vector<bool> deleted;
  for (size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() == 1 && rows[r][0].empty()) continue;  // an empty line
    if (rows[r].size() != rows[0].size())
      return fail(format("line %u: %u cells, the header has %u", unsigned(r + 1), unsigned(rows[r].size()), unsigned(rows[0].size())));
    std::vector<Value> row(static_cast<size_t>(db->field_count()));
    for (int32_t f = 0; f < db->field_count(); ++f) parse_value(db->field(f), "", &row[size_t(f)], &why);
    for (size_t c = 0; c < rows[r].size(); ++c) {
      int32_t f = column_field[c];
      if (f < 0) continue;
      if (!parse_value(db->field(f), rows[r][c], &row[size_t(f)], &why))
        return fail(format("line %u, field ", unsigned(r + 1)) + field_name_utf8(db.get(), f) + ": " + why);
    }
    values.push_back(std::move(row));
    deleted.push_back(deleted_column >= 0 && (rows[r][size_t(deleted_column)] == "1" || rows[r][size_t(deleted_column)] == "true"));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    int32_t rc = db->append_values(values[i]);
    if (rc == 0 && deleted[i]) rc = db->set_deleted(true);
    if (rc) return fail(format("appending row %u failed: ", unsigned(i + 1)) + code_text(rc));
  }
  out(format("imported %u records\n", unsigned(values.size())));
  return kOk;
}

int run_index(const Options& o) {
  if (o.rest.size() < 2) return fail("index needs a file and key fields: vdbtool index DB INDEXFILE FIELD...");
  Opened db;
  if (int32_t rc = db.open(o, true, false)) return open_error(o, rc);
  IndexSpec spec;
  spec.file = o.rest[0];
  spec.fields.assign(o.rest.begin() + 1, o.rest.end());
  spec.sort_mode = o.sort_mode;
  spec.key_flags = o.key_flags;
  spec.page_factor = o.page_factor;
  if (int32_t rc = db->create_index(spec)) return fail("cannot create the index: " + code_text(rc));
  out("created " + utf8_from_gbk(db->index_path(db->index_count() - 1)) + "\n");
  return kOk;
}

}  // namespace vdbtool
