// Conversions between field values and stored field bytes.
#include "database/values.h"
#include <cstring>
#include "runtime/args.h"

namespace database {

namespace {

template <class T>
T load(const std::string& s) {
  T v{};
  std::memcpy(&v, s.data(), s.size() < sizeof v ? s.size() : sizeof v);
  return v;
}

template <class T>
std::string store(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

std::string up_to_zero(const std::string& s) { return s.substr(0, strnlen(s.data(), s.size())); }

bool integral(int32_t type) { return type >= kByte && type <= kLong; }

}  // namespace

Value value_from_stored(const FieldDescriptor& d, const std::string& s) {
  switch (d.type) {
    case kByte: return Value::of_int(kByte, load<uint8_t>(s));
    case kShort: return Value::of_int(kShort, load<int16_t>(s));
    case kInt: return Value::of_int(kInt, load<int32_t>(s));
    case kLong: return Value::of_int(kLong, load<int64_t>(s));
    case kFloat: return Value::of_number(kFloat, load<float>(s));
    case kDouble: return Value::of_number(kDouble, load<double>(s));
    case kBool: return Value::of_bool(load<uint8_t>(s) != 0);
    case kDateTime: {
      double v = load<double>(s);
      if (v > kLatestDate) v = kLatestDate;
      else if (v < kEarliestDate) v = kEarliestDate;
      else if (v != v) v = 0;  // a stored NaN is no date
      return Value::of_number(kDateTime, v);
    }
    case kSubPtr: return Value::of_int(kSubPtr, load<uint32_t>(s));
    case kText: return Value::of_bytes(kText, up_to_zero(s));
    case kBytes: return Value::of_bytes(kBytes, s);
    case kMemo: return Value::of_bytes(kMemo, up_to_zero(s));
    default: return Value{};
  }
}

int32_t stored_from_value(const FieldDescriptor& d, const Value& v, std::string& out) {
  constexpr int32_t kMismatch = -72;
  if (numeric_type(d.type)) {
    if (!numeric_type(v.type)) return kMismatch;
    bool from_int = integral(v.type);
    int64_t i = from_int ? v.integer : runtime::trunc64(v.number);
    double x = from_int ? static_cast<double>(v.integer) : v.number;
    switch (d.type) {
      case kByte: out = store(static_cast<uint8_t>(i)); break;
      case kShort: out = store(static_cast<int16_t>(i)); break;
      case kInt: out = store(static_cast<int32_t>(i)); break;
      case kLong: out = store(i); break;
      case kFloat: out = store(static_cast<float>(x)); break;
      default: out = store(x); break;
    }
    return 0;
  }
  switch (d.type) {
    case kBool:
      if (v.type != kBool) return kMismatch;
      out = std::string(1, v.integer ? '\1' : '\0');
      return 0;
    case kDateTime:
      if (v.type != kDateTime) return kMismatch;
      out = store(v.number);
      return 0;
    case kSubPtr:
      if (v.type != kSubPtr) return kMismatch;
      out = store(static_cast<uint32_t>(v.integer));
      return 0;
    case kText:
      if (v.type != kText && v.type != kMemo) return kMismatch;
      out = up_to_zero(v.bytes).substr(0, static_cast<size_t>(d.text_size));
      out.resize(static_cast<size_t>(d.text_size), '\0');
      return 0;
    case kMemo:
      if (v.type != kText && v.type != kMemo) return kMismatch;
      out = up_to_zero(v.bytes);
      return 0;
    case kBytes:
      if (v.type != kBytes) return kMismatch;
      out = v.bytes;
      return 0;
    default:
      return kMismatch;
  }
}

}  // namespace database
