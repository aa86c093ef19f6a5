// Typed encoders of unit data: one table of fields per core unit type, in stored order, with
// kinds, defaults and the record version that introduced each field.
#include "unit_fields.h"
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace vlink {

namespace {

enum Kind { kU32, kU16, kBytes, kText, kFont };

struct Field {
  const char* name;
  Kind kind;
  int64_t number;   // default of a number field
  uint32_t since;   // first record version that holds the field
};

struct Schema {
  uint32_t type;
  uint32_t version;  // the current version
  std::vector<Field> fields;
};

const std::vector<Schema>& schemas() {
  static const std::vector<Schema> all = {
      {0x10001, 6,
       {{"border", kU32, 2, 1}, {"picture-mode", kU32, 1, 1}, {"back-colour", kU32, 0xFF000000, 1},
        {"max-box", kU32, 0, 1}, {"min-box", kU32, 1, 1}, {"control-box", kU32, 1, 1},
        {"state", kU32, 0, 1}, {"close-button", kU32, 1, 1}, {"music-mode", kU32, 0, 1},
        {"enter-moves", kU32, 0, 1}, {"escape-closes", kU32, 1, 1}, {"f1-help", kU32, 0, 1},
        {"help-context", kU32, 0, 1}, {"own-taskbar", kU32, 1, 2}, {"drag-move", kU32, 0, 3},
        {"shape", kU32, 0, 3}, {"topmost", kU32, 0, 4}, {"setting", kU32, 0, 5},
        {"class", kText, 0, 6}, {"picture", kBytes, 0, 1}, {"icon", kBytes, 0, 1},
        {"music", kBytes, 0, 1}, {"title", kText, 0, 1}, {"help-file", kText, 0, 1}}},
      {0x10005, 2,
       {{"border", kU32, 1, 1}, {"text-colour", kU32, 0, 1}, {"back-colour", kU32, 0xFFFFFF, 1},
        {"hide-selection", kU32, 1, 1}, {"max-length", kU32, 0, 1}, {"multi-line", kU32, 0, 1},
        {"scroll-bars", kU32, 0, 1}, {"alignment", kU32, 0, 1}, {"input-mode", kU32, 0, 1},
        {"mask", kU16, '*', 1}, {"letter-case", kU32, 0, 1}, {"spin", kU32, 0, 1},
        {"spin-min", kU32, 0, 1}, {"spin-max", kU32, 100, 1}, {"sel-start", kU32, 0, 1},
        {"sel-length", kU32, 0, 1}, {"font", kFont, 0, 1}, {"content", kText, 0, 1},
        {"text1", kText, 0, 2}, {"text2", kText, 0, 2}}},
      {0x1000A, 2,
       {{"effect", kU32, 0, 1}, {"frame-width", kU32, 8, 1}, {"border", kU32, 0, 1},
        {"frame-colour1", kU32, 0x808080, 1}, {"frame-colour2", kU32, 0xFFFFFF, 1},
        {"frame-colour3", kU32, 0x808080, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"picture-mode", kU32, 1, 1},
        {"gradient", kU32, 0, 1}, {"gradient-colour1", kU32, 0x808080, 1},
        {"gradient-colour2", kU32, 0xFFFFFF, 1}, {"gradient-colour3", kU32, 0x808080, 1},
        {"align", kU32, 0, 1}, {"valign", kU32, 1, 1}, {"word-wrap", kU32, 0, 1},
        {"font", kFont, 0, 1}, {"picture", kBytes, 0, 1}, {"caption", kText, 0, 1},
        {"text1", kText, 0, 2}, {"text2", kText, 0, 2}}},
      {0x1000B, 1,
       {{"kind", kU32, 0, 1}, {"align", kU32, 1, 1}, {"valign", kU32, 1, 1},
        {"picture", kBytes, 0, 1}, {"font", kFont, 0, 1}, {"caption", kText, 0, 1}}},
      {0x1000C, 2,
       {{"push-like", kU32, 0, 1}, {"flat", kU32, 0, 1}, {"left-text", kU32, 0, 1},
        {"align", kU32, 0, 1}, {"valign", kU32, 1, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"checked", kU32, 0, 1}, {"picture", kBytes, 0, 1},
        {"font", kFont, 0, 1}, {"caption", kText, 0, 1}, {"text1", kText, 0, 2},
        {"text2", kText, 0, 2}}},
      {0x10020, 1, {{"interval", kU32, 0, 1}}},
  };
  return all;
}

const Schema& schema_of(uint32_t type) {
  for (const Schema& s : schemas())
    if (s.type == (type & 0xDFFFFFFF)) return s;
  char code[16];
  std::snprintf(code, sizeof code, "0x%X", type);
  throw Error(std::string("no field encoder for unit type ") + code);
}

struct Value {
  bool set = false;
  int64_t number = 0;
  std::string bytes;
};

int64_t parse_number(const std::string& w, const std::string& field) {
  try {
    size_t used = 0;
    int64_t v = std::stoll(w, &used, 0);
    if (used != w.size() || v < -0x80000000LL || v > 0xFFFFFFFFLL) throw 0;
    return v;
  } catch (...) {
    throw Error("field " + field + ": expected a number, found " + w);
  }
}

std::string parse_hex(const std::string& s, const std::string& field) {
  std::string digits, out;
  for (char c : s) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw Error("field " + field + ": not a hexadecimal digit");
    digits += c;
  }
  if (digits.size() % 2) throw Error("field " + field + ": odd number of hexadecimal digits");
  for (size_t i = 0; i < digits.size(); i += 2)
    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  return out;
}

std::string read_relative(const std::string& name, const std::string& description_path) {
  std::string path = name;
  if (!name.empty() && name[0] != '/') {
    size_t slash = description_path.find_last_of('/');
    if (slash != std::string::npos) path = description_path.substr(0, slash + 1) + name;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A 60-byte logical-font record: face, height in pixels, weight 400, GB2312 character set.
std::string font_record(const std::string& face, int64_t height) {
  if (face.size() > 31) throw Error("font face longer than 31 bytes");
  std::string r(60, '\0');
  int32_t h = static_cast<int32_t>(-std::abs(height)), weight = 400;
  std::memcpy(&r[0], &h, 4);
  std::memcpy(&r[16], &weight, 4);
  r[23] = static_cast<char>(134);  // GB2312_CHARSET
  std::memcpy(&r[28], face.data(), face.size());
  return r;
}

}  // namespace

Bytes encode_unit_fields(uint32_t type, const std::vector<FieldToken>& tokens,
                         const std::string& description_path) {
  const Schema& s = schema_of(type);
  uint32_t version = s.version;
  std::map<std::string, Value> values;
  for (size_t i = 0; i < tokens.size();) {
    if (tokens[i].quoted) throw Error("expected a field name, found a string");
    std::string name = tokens[i++].text;
    if (i >= tokens.size()) throw Error("field " + name + " has no value");
    if (name == "version") {
      version = static_cast<uint32_t>(parse_number(tokens[i++].text, name));
      continue;
    }
    const Field* f = nullptr;
    for (const Field& x : s.fields)
      if (name == x.name) f = &x;
    if (!f) throw Error("unknown field " + name);
    Value v;
    v.set = true;
    const FieldToken& t = tokens[i++];
    if (!t.quoted && t.text == "hex") {
      if (i >= tokens.size() || !tokens[i].quoted) throw Error("field " + name + ": hex needs \"...\"");
      v.bytes = parse_hex(tokens[i++].text, name);
    } else if (!t.quoted && t.text == "file") {
      if (i >= tokens.size() || !tokens[i].quoted) throw Error("field " + name + ": file needs \"path\"");
      v.bytes = read_relative(tokens[i++].text, description_path);
    } else if (f->kind == kFont && t.quoted) {
      if (i >= tokens.size() || tokens[i].quoted) throw Error("field " + name + ": a font needs \"face\" HEIGHT");
      v.bytes = font_record(t.text, parse_number(tokens[i++].text, name));
    } else if (t.quoted) {
      v.bytes = t.text;
    } else {
      v.number = parse_number(t.text, name);
    }
    values[name] = v;
  }
  Writer w;
  w.u32(version);
  for (const Field& f : s.fields) {
    if (f.since > version) continue;
    const Value& v = values[f.name];
    switch (f.kind) {
      case kU32: w.u32(static_cast<uint32_t>(v.set ? v.number : f.number)); break;
      case kU16: {
        uint16_t x = static_cast<uint16_t>(v.set ? (v.bytes.empty() ? v.number : uint8_t(v.bytes[0])) : f.number);
        w.raw(&x, 2);
        break;
      }
      case kBytes: case kText: case kFont:
        if (v.set && v.bytes.empty() && v.number) throw Error("field " + std::string(f.name) + " takes bytes or a string");
        w.text(v.bytes);
        break;
    }
  }
  return w.bytes();
}

}  // namespace vlink
