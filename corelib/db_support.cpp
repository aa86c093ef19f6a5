#include "corelib/db_support.h"
#include <cmath>
#include "database/errors.h"
#include "runtime/errors.h"
#include "runtime/value_ops.h"

namespace corelib::db {

using namespace runtime;
using database::Value;

namespace {

constexpr uint32_t kValueTypes[13] = {0,         kTypeByte,     kTypeShort,  kTypeInt, kTypeLong,
                                      kTypeFloat, kTypeDouble,  kTypeBool,   kTypeDateTime,
                                      kTypeSubPtr, kTypeText,   kTypeBin,    kTypeText};

uint32_t value_type(int32_t field_type) {
  return field_type >= 1 && field_type <= 12 ? kValueTypes[field_type] : 0;
}

}  // namespace

database::Database* current() {
  database::Database* d = database::current_database();
  if (!d) database::set_last_error(-67);
  return d;
}

database::Database* named(const ArgRecord& name) {
  Arg a(name);
  database::Database* d = database::find_database(text_of(a.record()));
  if (!d) database::set_last_error(-66);
  return d;
}

bool done(int32_t code) {
  database::set_last_error(code);
  return code == 0;
}

void wrong_argument_type() { raise_error("所提供参数的数据类型不符合要求", 0); }

int32_t field_of(database::Database& d, const ArgRecord& arg, FieldArgs kind) {
  Arg a(arg);
  const ArgRecord& r = a.record();
  int32_t f = -1;
  if (r.type == kTypeText) {
    f = d.find_field(text_of(r));
  } else if (is_numeric(r.type)) {
    int64_t n = trunc64(num_double(r));
    f = n >= 1 && n <= d.field_count() ? static_cast<int32_t>(n - 1) : -1;
  } else if (kind == FieldArgs::kInformation) {
    raise_error("只能使用字段名称(文本型)或位置索引值(数值型)来指定某个字段", 0);
  } else if (kind == FieldArgs::kReadWrite) {
    wrong_argument_type();
  }
  if (f < 0) database::set_last_error(-61);
  return f;
}

void set_value(ResultRecord* r, const Value& v) {
  switch (v.type) {
    case database::kByte: case database::kShort: case database::kInt: case database::kBool:
    case database::kSubPtr:
      r->lo = static_cast<uint32_t>(v.integer);
      break;
    case database::kLong:
      set_long(r, v.integer);
      break;
    case database::kFloat:
      set_float(r, static_cast<float>(v.number));
      break;
    case database::kDouble: case database::kDateTime:
      set_double(r, v.number);
      break;
    case database::kText: case database::kMemo:
      set_text(r, v.bytes);
      break;
    case database::kBytes:
      set_bin(r, v.bytes);
      break;
  }
  r->type = value_type(v.type);
}

void set_empty(ResultRecord* r, int32_t field_type) {
  Value v;
  v.type = field_type;
  if (field_type == database::kDateTime) v.number = database::kEarliestDate;
  set_value(r, v);
}

bool value_of(const ArgRecord& arg, int32_t field_type, Value* out) {
  Arg a(arg);
  const ArgRecord& r = a.record();
  *out = Value{};
  out->type = field_type;
  if (r.type == kTypeNone) {
    if (field_type == database::kDateTime) out->number = database::kEarliestDate;
    return true;
  }
  const uint32_t want = value_type(field_type);
  if (database::numeric_type(field_type) && is_numeric(r.type)) {
    if (field_type == database::kFloat || field_type == database::kDouble) out->number = num_double(r);
    else out->integer = num_long(r);
    return true;
  }
  if (r.type != want) return false;
  switch (field_type) {
    case database::kBool: out->integer = r.lo != 0; return true;
    case database::kDateTime: out->number = bits_double(r); return true;
    case database::kSubPtr: out->integer = r.lo; return true;
    case database::kText: case database::kMemo: out->bytes = text_of(r); return true;
    case database::kBytes: out->bytes = std::string(bin_of(r)); return true;
    default: return false;
  }
}

std::vector<std::string> names_from(int argc, ArgRecord* args, int first) {
  std::vector<std::string> names;
  for (int i = first; i < argc; ++i) {
    Arg a(args[i]);
    const ArgRecord& r = a.record();
    if (r.type == kTypeText) {
      names.emplace_back(text_of(r));
    } else if (r.type == (kTypeText | kArrayBit) && r.lo) {
      const auto* block = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(r.lo));
      uint64_t n = 1;
      for (uint32_t k = 0; k < block[0]; ++k) n *= block[1 + k];
      const uint32_t* element = block + 1 + block[0];
      for (uint64_t k = 0; k < n; ++k) {
        const char* t = reinterpret_cast<const char*>(static_cast<uintptr_t>(element[k]));
        names.emplace_back(t ? t : "");
      }
    }
  }
  return names;
}

}  // namespace corelib::db
