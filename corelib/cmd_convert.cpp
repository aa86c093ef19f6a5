// Conversion commands: numbers of every width, texts, date-times and byte sets, Chinese
// numerals and money texts, formatted, hexadecimal and octal texts.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/crt.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace corelib {

using namespace runtime;

namespace {

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

uint64_t read_decimal(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') v = v * 10 + static_cast<uint64_t>(s[i++] - '0');
  return negative ? 0 - v : v;
}

namespace {

double read_float(const std::string& s) { return strtod(s.c_str(), nullptr); }

const void* address(const ArgRecord& a) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(a.lo)); }

// The integer conversions: 64 bits of the value per source kind (callers cut to their width).
// Byte, short and integer targets read a logical as its stored word; the long target
// sign-extends it, which the same 64-bit value gives.
uint64_t integer_value(const ArgRecord& a) {
  switch (a.type) {
    case kTypeText: return read_decimal(half_width(static_cast<const char*>(address(a))));
    case kTypeBool: case kTypeInt: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(a.lo)));
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(a.lo)));
    case kTypeLong: return static_cast<uint64_t>(a.hi) << 32 | a.lo;
    case kTypeFloat: return static_cast<uint64_t>(trunc64(bits_float(a)));
    case kTypeDouble: return static_cast<uint64_t>(trunc64(bits_double(a)));
    case kTypeSubPtr: return a.lo;
    default: return 0;
  }
}

double number_value(const ArgRecord& a) {
  switch (a.type) {
    case kTypeText: return read_float(half_width(static_cast<const char*>(address(a))));
    case kTypeBool: case kTypeInt: return static_cast<int32_t>(a.lo);
    case kTypeByte: return static_cast<uint8_t>(a.lo);
    case kTypeShort: return static_cast<int16_t>(a.lo);
    case kTypeLong: return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo));
    case kTypeFloat: return bits_float(a);
    case kTypeDouble: return bits_double(a);
    case kTypeSubPtr: return static_cast<double>(a.lo);
    default: return 0;
  }
}

// Rounds to six significant decimal digits, halves away from zero.
double six_digits(double v) {
  if (v == 0 || !std::isfinite(v)) return v;
  int e = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  double scale = std::pow(10.0, 5 - e);
  if (!std::isfinite(scale) || scale == 0) return v;
  return std::copysign(std::floor(std::fabs(v) * scale + 0.5) / scale, v);
}

// Element bytes of a one-dimensional numeric array (or all elements for to byte set).
bool numeric_array_bytes(const ArgRecord& a, bool one_dimension, std::string_view* out) {
  uint32_t el = element_type(a.type);
  if (!is_numeric(el)) return false;
  auto* block = static_cast<const uint32_t*>(address(a));
  if (!block) return true;
  uint32_t d = block[0];
  if (one_dimension && d != 1) return false;
  uint64_t count = 1;
  for (uint32_t i = 0; i < d; ++i) count *= block[1 + i];
  *out = {reinterpret_cast<const char*>(block + 1 + d), static_cast<size_t>(count * type_size(el))};
  return true;
}

}  // namespace

std::string text_of_value(const ArgRecord& a) {
  if (is_array(a.type)) {
    std::string_view bytes;
    if (!numeric_array_bytes(a, true, &bytes)) return {};
    return std::string(bytes.substr(0, bytes.find('\0')));
  }
  switch (a.type) {
    case kTypeBin: {
      std::string_view bytes = bin_of(a);
      return std::string(bytes.substr(0, bytes.find('\0')));
    }
    case kTypeByte: return std::to_string(static_cast<uint8_t>(a.lo));
    case kTypeShort: return std::to_string(static_cast<int16_t>(a.lo));
    case kTypeInt: return std::to_string(static_cast<int32_t>(a.lo));
    case kTypeLong: return std::to_string(static_cast<int64_t>(static_cast<uint64_t>(a.hi) << 32 | a.lo));
    case kTypeFloat: return crt_format("%.6g", six_digits(bits_float(a)));
    case kTypeDouble: return crt_format("%.13g", bits_double(a));
    case kTypeBool: return a.lo ? "真" : "假";
    case kTypeDateTime: return dates::to_text(bits_double(a), 1);
    case kTypeText: return text_of(a);
    default: return {};
  }
}

// Storage bytes of a basic value for to byte set; false when the value has none.
bool value_bytes(const ArgRecord& a, std::string* out) {
  const char* words = reinterpret_cast<const char*>(&a.lo);
  switch (a.type) {
    case kTypeText: *out = text_of(a); return true;
    case kTypeBin: *out = std::string(bin_of(a)); return true;
    case kTypeBool: case kTypeInt: case kTypeFloat: case kTypeSubPtr: out->assign(words, 4); return true;
    case kTypeLong: case kTypeDouble: case kTypeDateTime: out->assign(words, 8); return true;
    case kTypeByte: out->assign(words, 1); return true;
    case kTypeShort: out->assign(words, 2); return true;
    default: return false;
  }
}

namespace {

// ---- Chinese numerals ------------------------------------------------------------------------

struct NumeralTable {
  const char* digits;  // ten two-byte characters
  const char* units;   // place units for positions 1..12, two bytes each
};
const NumeralTable kSimplified{"零一二三四五六七八九", "十百千万十百千亿十百千万"};
const NumeralTable kCapital{"零壹贰叁肆伍陆柒捌玖", "拾佰仟万拾佰仟亿拾佰仟万"};

std::string digit(const NumeralTable& t, int d) { return std::string(t.digits + 2 * d, 2); }
std::string unit(const NumeralTable& t, int k) { return std::string(t.units + 2 * (k - 1), 2); }

// Integer part and hundredths of a non-negative amount, rounded half up with the 1e-12 nudge.
double round_half_up(double v) {
  double i;
  double f = std::modf(v + 1e-12, &i);
  return f >= 0.5 ? i + 1 : i;
}

std::string numerals(double x, bool simplified) {
  const NumeralTable& t = simplified ? kSimplified : kCapital;
  bool negative = x < 0;
  x = std::fabs(x);
  if (x == 0) return digit(t, 0);
  if (!(x <= 9999999999999.0)) return "溢出";
  double n;
  double fraction = std::modf(x, &n);
  double h = round_half_up(fraction * 100);
  std::string tail;
  if (h >= 100) {
    n += 1;
  } else if (h >= 1) {
    std::string s = std::to_string(static_cast<int>(h) + 100);
    while (!s.empty() && s.back() == '0') s.pop_back();
    tail = "点";
    for (size_t i = 1; i < s.size(); ++i) tail += digit(t, s[i] - '0');
  }
  std::string out;
  if (n == 0) {
    out = digit(t, 0);
  } else {
    int state = 0;
    bool group = false;
    uint64_t v = static_cast<uint64_t>(n);
    for (int k = 0; v != 0; ++k, v /= 10) {
      if (k == 4 || k == 8) group = false;
      int d = static_cast<int>(v % 10);
      if (d == 0) {
        if (state == 2) {
          out = digit(t, 0) + out;
          state = 1;
        }
        continue;
      }
      state = 2;
      if (k > 0) {
        if (!group && k > 3) {
          if (k > 4 && k < 8) out = unit(t, 4) + out;
          else if (k > 8) out = unit(t, 8) + out;
          group = true;
        }
        out = unit(t, k) + out;
      }
      out = digit(t, d) + out;
    }
  }
  out += tail;
  return negative ? "负" + out : out;
}

std::string money(double x, bool simplified) {
  const NumeralTable& t = simplified ? kSimplified : kCapital;
  bool negative = x < 0;
  double c = round_half_up(std::fabs(x) * 100);
  if (!(c <= 999999999999999.0)) return "溢出";
  if (c == 0) return digit(t, 0);
  uint64_t v = static_cast<uint64_t>(c);
  std::string out = v % 10 == 0 ? "整" : "";
  int state = 0;
  bool group = false, yuan = false;
  for (int k = 0; v != 0; ++k, v /= 10) {
    if (k == 6 || k == 10) group = false;
    int d = static_cast<int>(v % 10);
    if (d == 0) {
      if (state == 2) {
        out = digit(t, 0) + out;
        state = 1;
      }
      continue;
    }
    state = 2;
    if (k > 1) {
      if (!yuan) {
        out = "元" + out;
        yuan = true;
      }
      if (!group && k > 5) {
        if (k > 6 && k < 10) out = unit(t, 4) + out;
        else if (k > 10) out = unit(t, 8) + out;
        group = true;
      }
      if (k > 2) out = unit(t, k - 2) + out;
    }
    if (k == 1) out = "角" + out;
    if (k == 0) out = "分" + out;
    out = digit(t, d) + out;
  }
  return negative ? "负" + out : out;
}

double round_decimals(double x, int p) {
  if (x == 0 || std::isnan(x)) return x;
  double a = std::fabs(x), r;
  if (p > 0) {
    double scale = std::pow(10.0, p);
    r = round_half_up(a * scale) / scale;
  } else if (p < 0) {
    double scale = std::pow(10.0, -p);
    r = round_half_up(a / scale) * scale;
  } else {
    r = round_half_up(a);
  }
  return std::copysign(r, x);
}

std::string with_separators(const std::string& s) {
  size_t start = s[0] == '-' ? 1 : 0;
  if (start == s.size() || s.find_first_not_of("0123456789.", start) != std::string::npos) return s;
  size_t point = s.find('.', start);
  size_t end = point == std::string::npos ? s.size() : point;
  std::string out = s.substr(0, start);
  for (size_t i = start; i < end; ++i) {
    out += s[i];
    size_t left = end - i - 1;
    if (left > 0 && left % 3 == 0) out += ',';
  }
  return out + s.substr(end);
}

}  // namespace

double round_to_places(double x, int places) { return round_decimals(x, places); }

CORELIB_COMMAND(to_byte) {
  Arg a(arg_at(argc, args, 0));
  set_int(result, static_cast<uint8_t>(integer_value(a.record())));
}

CORELIB_COMMAND(to_short) {
  Arg a(arg_at(argc, args, 0));
  set_int(result, static_cast<int16_t>(integer_value(a.record())));
}

CORELIB_COMMAND(to_integer) {
  Arg a(arg_at(argc, args, 0));
  set_int(result, static_cast<int32_t>(integer_value(a.record())));
}

CORELIB_COMMAND(to_long) {
  Arg a(arg_at(argc, args, 0));
  set_long(result, static_cast<int64_t>(integer_value(a.record())));
}

CORELIB_COMMAND(to_float) {
  Arg a(arg_at(argc, args, 0));
  set_float(result, static_cast<float>(number_value(a.record())));
}

CORELIB_COMMAND(to_number) {
  Arg a(arg_at(argc, args, 0));
  set_double(result, number_value(a.record()));
}

CORELIB_COMMAND(to_text) {
  Arg a(arg_at(argc, args, 0));
  set_text(result, text_of_value(a.record()));
}

CORELIB_COMMAND(to_date_time) {
  Arg a(arg_at(argc, args, 0));
  const ArgRecord& r = a.record();
  double v = dates::kMin;
  if (r.type == kTypeDateTime) v = bits_double(r);
  else if (r.type == kTypeText && !dates::read_text(text_of(r), &v)) v = dates::kMin;
  set_double(result, v);
}

CORELIB_COMMAND(to_byte_set) {
  Arg a(arg_at(argc, args, 0));
  const ArgRecord& r = a.record();
  if (is_array(r.type)) {
    std::string_view bytes;
    if (numeric_array_bytes(r, false, &bytes)) set_bin(result, bytes);
    return;
  }
  std::string bytes;
  if (value_bytes(r, &bytes)) set_bin(result, bytes);
}

CORELIB_COMMAND(get_bin_data) {
  struct Kind {
    uint32_t type;
    uint32_t size;
  };
  static constexpr Kind kKinds[] = {
      {kTypeByte, 1}, {kTypeShort, 2},    {kTypeInt, 4},      {kTypeLong, 8},     {kTypeFloat, 4},
      {kTypeDouble, 8}, {kTypeBool, 4},   {kTypeDateTime, 8}, {kTypeSubPtr, 4},   {kTypeText, 0},
  };
  Arg bin(arg_at(argc, args, 0));
  std::string_view bytes = bin.type() == kTypeBin ? bin_of(bin.record()) : std::string_view{};
  int kind = int_or(argc, args, 1, 0);
  if (kind < 1 || kind > 10) raise_error("“欲取出数据的类型”参数值无效", 0);
  const Kind& k = kKinds[kind - 1];

  const ArgRecord& pos = arg_at(argc, args, 2);
  int32_t* variable = nullptr;
  int64_t start = 0;
  if ((pos.type & 0xC0000000) == kVariableMark) {
    variable = reinterpret_cast<int32_t*>(static_cast<uintptr_t>(pos.lo));
    if (variable) start = static_cast<int64_t>(*variable) - 1;
  } else if (pos.type != kTypeNone) {
    start = static_cast<int64_t>(num_int(pos)) - 1;
  }
  bool readable = start >= 0 && start < static_cast<int64_t>(bytes.size());
  std::string_view rest = readable ? bytes.substr(static_cast<size_t>(start)) : std::string_view{};

  uint32_t consumed = k.size;
  result->type = k.type;
  if (k.type == kTypeText) {
    size_t zero = rest.find('\0');
    std::string_view text = rest.substr(0, zero);
    consumed = static_cast<uint32_t>(text.size() + (zero != std::string_view::npos ? 1 : 0));
    set_text(result, text);
  } else {
    uint8_t buffer[8] = {};
    memcpy(buffer, rest.data(), std::min<size_t>(rest.size(), k.size));
    memcpy(&result->lo, buffer, k.size > 4 ? 8 : 4);
    if (k.type == kTypeBool) {
      result->lo = (buffer[0] | buffer[1] | buffer[2] | buffer[3]) ? 1 : 0;
    } else if (k.type == kTypeDateTime) {
      double d;
      memcpy(&d, buffer, 8);
      set_double(result, dates::clamp(d));
    }
  }
  if (variable) {
    // Nothing was readable from a start before the first byte: the variable stays at its end.
    int64_t next = start + consumed;
    *variable = (start < 0 || next >= static_cast<int64_t>(bytes.size())) ? -1 : static_cast<int32_t>(next + 1);
  }
}

CORELIB_COMMAND(chinese_numerals) {
  set_text(result, numerals(num_double(arg_at(argc, args, 0)), bool_or(argc, args, 1, false)));
}

CORELIB_COMMAND(money_text) {
  set_text(result, money(num_double(arg_at(argc, args, 0)), bool_or(argc, args, 1, false)));
}

CORELIB_COMMAND(formatted_number) {
  double x = num_double(arg_at(argc, args, 0));
  bool places_given = given(argc, args, 1);
  int places = int_or(argc, args, 1, 0);
  if (places_given) x = round_decimals(x, places);
  std::string s = crt_format("%.13g", x);
  if (places_given && places > 0) {
    size_t point = s.find('.');
    if (point == std::string::npos) {
      s += '.' + std::string(static_cast<size_t>(places), '0');
    } else {
      size_t have = s.size() - point - 1;
      if (have < static_cast<size_t>(places)) s.append(static_cast<size_t>(places) - have, '0');
    }
  }
  if (bool_or(argc, args, 2, false)) s = with_separators(s);
  set_text(result, s);
}

CORELIB_COMMAND(hex_text) {
  set_text(result, crt_format("%X", static_cast<unsigned>(num_int(arg_at(argc, args, 0)))));
}

CORELIB_COMMAND(octal_text) {
  set_text(result, crt_format("%o", static_cast<unsigned>(num_int(arg_at(argc, args, 0)))));
}

}  // namespace corelib
