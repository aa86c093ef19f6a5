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

enum Kind { kU32, kU16, kBytes, kText, kFont, kF64, kItems, kInts };
// kF64: a date-time as its 64-bit double ("45000.25"); kItems: an item list from one string,
// items separated by "|" (a count, then each item as a length and its bytes); kInts: 32-bit
// integers from one string of comma-separated numbers ("1,0,1").

struct Field {
  const char* name;
  Kind kind;
  int64_t number;   // default of a number field
  uint32_t since;   // first record version that holds the field
  const char* text = nullptr;  // default of a text field (empty when null)
};

struct Schema {
  uint32_t type;
  uint32_t version;  // the current version
  std::vector<Field> fields;
};

// Both scroll bars: position, range, steps, events while dragging.
std::vector<Field> scroll_bar_fields() {
  return {{"position", kU32, 0, 1}, {"minimum", kU32, 0, 1}, {"maximum", kU32, 100, 1},
          {"page-step", kU32, 10, 1}, {"line-step", kU32, 1, 1}, {"track", kU32, 1, 1}};
}

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
      // The list, choice, bar, picker and file-system units: version 1, fields in property order.
      {0x10009, 1,
       {{"caption", kText, 0, 1}, {"align", kU32, 0, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"font", kFont, 0, 1}}},
      {0x1000D, 1,
       {{"picture", kBytes, 0, 1}, {"push-like", kU32, 0, 1}, {"flat", kU32, 0, 1},
        {"caption", kText, 0, 1}, {"left-text", kU32, 0, 1}, {"align", kU32, 0, 1},
        {"valign", kU32, 1, 1}, {"text-colour", kU32, 0, 1}, {"back-colour", kU32, 0xFF000000, 1},
        {"font", kFont, 0, 1}, {"checked", kU32, 0, 1}}},
      {0x1000E, 1,
       {{"kind", kU32, 0, 1}, {"content", kText, 0, 1}, {"max-length", kU32, 0, 1},
        {"sel-start", kU32, 0, 1}, {"sel-length", kU32, 0, 1}, {"sel-text", kText, 0, 1},
        {"sorted", kU32, 0, 1}, {"current", kU32, -1, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"font", kFont, 0, 1}, {"rows", kU32, 8, 1},
        {"items", kItems, 0, 1}, {"values", kInts, 0, 1}, {"data-source", kText, 0, 1},
        {"data-column", kText, 0, 1}, {"integral-height", kU32, 1, 1}}},
      {0x1000F, 1,
       {{"border", kU32, 1, 1}, {"sorted", kU32, 0, 1}, {"multi-column", kU32, 0, 1},
        {"current", kU32, -1, 1}, {"text-colour", kU32, 0, 1}, {"back-colour", kU32, 0xFF000000, 1},
        {"font", kFont, 0, 1}, {"multi-select", kU32, 0, 1}, {"column-width", kU32, 0, 1},
        {"items", kItems, 0, 1}, {"values", kInts, 0, 1}, {"data-source", kText, 0, 1},
        {"data-column", kText, 0, 1}, {"hscroll", kU32, 0, 1}}},
      {0x10010, 1,
       {{"border", kU32, 1, 1}, {"sorted", kU32, 0, 1}, {"check-on-click", kU32, 0, 1},
        {"current", kU32, -1, 1}, {"grid-lines", kU32, 0, 1}, {"font", kFont, 0, 1},
        {"top-index", kU32, 0, 1}, {"items", kItems, 0, 1}, {"checks", kInts, 0, 1}}},
      {0x10011, 1, scroll_bar_fields()},
      {0x10012, 1, scroll_bar_fields()},
      {0x10013, 1,
       {{"border", kU32, 0, 1}, {"orientation", kU32, 0, 1}, {"smooth", kU32, 0, 1},
        {"minimum", kU32, 0, 1}, {"maximum", kU32, 100, 1}, {"position", kU32, 0, 1}}},
      {0x10014, 1,
       {{"border", kU32, 0, 1}, {"orientation", kU32, 0, 1}, {"ticks", kU32, 0, 1},
        {"tick-frequency", kU32, 1, 1}, {"show-selection", kU32, 0, 1}, {"minimum", kU32, 0, 1},
        {"maximum", kU32, 10, 1}, {"position", kU32, 0, 1}, {"line-step", kU32, 1, 1},
        {"page-step", kU32, 2, 1}, {"sel-start", kU32, 0, 1}, {"sel-end", kU32, 0, 1}}},
      {0x10015, 1,
       {{"placement", kU32, 0, 1}, {"multi-line", kU32, 0, 1}, {"font", kFont, 0, 1},
        {"captions", kItems, 0, 1}, {"current", kU32, 0, 1}, {"buttons", kU32, 0, 1},
        {"hot-track", kU32, 0, 1}, {"back-colour", kU32, 0xFF000000, 1}}},
      {0x10017, 1,
       {{"up-down", kU32, 0, 1}, {"format", kU32, 0, 1}, {"value", kF64, 0, 1},
        {"minimum", kF64, 0, 1}, {"maximum", kF64, 0, 1}, {"font", kFont, 0, 1},
        {"drop-align", kU32, 0, 1}, {"data-source", kText, 0, 1}, {"data-column", kText, 0, 1}}},
      {0x10018, 1,
       {{"show-today", kU32, 1, 1}, {"week-numbers", kU32, 0, 1}, {"first-day", kU32, 6, 1},
        {"multi-select", kU32, 0, 1}, {"max-selection", kU32, 7, 1}, {"value", kF64, 0, 1},
        {"minimum", kF64, 0, 1}, {"maximum", kF64, 0, 1}, {"circle-today", kU32, 1, 1},
        {"scroll-rate", kU32, 1, 1}, {"sel-start", kF64, 0, 1}, {"sel-end", kF64, 0, 1},
        {"font", kFont, 0, 1}, {"text-colour", kU32, 0xFF000000, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"month-back-colour", kU32, 0xFF000000, 1},
        {"title-text-colour", kU32, 0xFF000000, 1}, {"title-back-colour", kU32, 0xFF000000, 1},
        {"trailing-text-colour", kU32, 0xFF000000, 1}, {"border", kU32, 0, 1}}},
      {0x10019, 1,
       {{"drive", kText, 0, 1}, {"letter-only", kU32, 0, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"font", kFont, 0, 1}}},
      {0x1001A, 1,
       {{"directory", kText, 0, 1}, {"border", kU32, 1, 1}, {"back-colour", kU32, 0xFF000000, 1},
        {"font", kFont, 0, 1}}},
      {0x1001B, 1,
       {{"directory", kText, 0, 1}, {"patterns", kText, 0, 1, "*.*"}, {"multi-select", kU32, 0, 1},
        {"file-name", kText, 0, 1}, {"archive", kU32, 1, 1}, {"hidden", kU32, 0, 1},
        {"read-only", kU32, 1, 1}, {"system", kU32, 0, 1}, {"normal", kU32, 1, 1},
        {"earliest", kF64, 0, 1}, {"latest", kF64, 0, 1}, {"border", kU32, 1, 1},
        {"text-colour", kU32, 0, 1}, {"back-colour", kU32, 0xFF000000, 1}, {"font", kFont, 0, 1}}},
      {0x1001C, 1, {{"colour", kU32, 0, 1}, {"allow-transparent", kU32, 0, 1}}},
      {0x1001D, 1,
       {{"caption", kText, 0, 1}, {"align", kU32, 0, 1}, {"address", kText, 0, 1},
        {"tip", kText, 0, 1}, {"link-colour", kU32, 0xFF0000, 1}, {"hover-colour", kU32, 0x0000FF, 1},
        {"visited-colour", kU32, 0x800080, 1}, {"back-colour", kU32, 0xFF000000, 1},
        {"underline", kU32, 0, 1}, {"font", kFont, 0, 1}}},
      {0x1001E, 1, {{"orientation", kU32, 0, 1}, {"hot-track", kU32, 0, 1}}},
      // The picture, drawing, dialog, printer and data units: version 1, fields in property order.
      {0x10006, 1,
       {{"border", kU32, 0, 1}, {"back-colour", kU32, 0xFF000000, 1}, {"picture", kBytes, 0, 1},
        {"picture-mode", kU32, 0, 1}, {"auto-size", kU32, 0, 1}, {"data-source", kText, 0, 1},
        {"data-column", kText, 0, 1}}},
      {0x10007, 1,
       {{"back-colour", kU32, 0xFF000000, 1}, {"shape", kU32, 0, 1}, {"line-style", kU32, 0, 1},
        {"fill-style", kU32, 1, 1}, {"line-width", kU32, 1, 1}, {"line-colour", kU32, 0, 1},
        {"fill-colour", kU32, 0xFFFFFF, 1}}},
      {0x10008, 1,
       {{"border", kU32, 0, 1}, {"back-colour", kU32, 0xFFFFFF, 1}, {"picture", kBytes, 0, 1},
        {"picture-mode", kU32, 0, 1}, {"auto-redraw", kU32, 1, 1}, {"draw-mode", kU32, 12, 1},
        {"pen-style", kU32, 0, 1}, {"fill-style", kU32, 1, 1}, {"pen-width", kU32, 1, 1},
        {"pen-colour", kU32, 0, 1}, {"text-back-mode", kU32, 0, 1}, {"text-colour", kU32, 0, 1},
        {"text-back-colour", kU32, 0xFFFFFF, 1}, {"fill-colour", kU32, 0xFFFFFF, 1},
        {"font", kFont, 0, 1}, {"x", kU32, 0, 1}, {"y", kU32, 0, 1}}},
      {0x10016, 1,
       {{"file", kText, 0, 1}, {"auto-play", kU32, 1, 1}, {"centre", kU32, 1, 1},
        {"transparent", kU32, 0, 1}, {"repeat", kU32, -1, 1}}},
      {0x1001F, 1,
       {{"kind", kU32, 0, 1}, {"title", kText, 0, 1}, {"filter", kText, 0, 1},
        {"file-name", kText, 0, 1}, {"filter-index", kU32, 1, 1}, {"initial-dir", kText, 0, 1},
        {"default-ext", kText, 0, 1}, {"overwrite-prompt", kU32, 1, 1},
        {"file-must-exist", kU32, 1, 1}, {"path-must-exist", kU32, 1, 1},
        {"no-change-dir", kU32, 1, 1}, {"hide-read-only", kU32, 1, 1}, {"colour", kU32, 0, 1},
        {"full-colour", kU32, 0, 1}, {"font-effects", kU32, 1, 1}, {"fixed-pitch", kU32, 0, 1},
        {"print-to-file", kU32, 0, 1}, {"font-name", kText, 0, 1}, {"font-size", kU32, 9, 1},
        {"printer", kText, 0, 1}, {"print-range", kU32, 0, 1}, {"copies", kU32, 1, 1}}},
      {0x10021, 1,
       {{"orientation", kU32, 0, 1}, {"paper", kU32, 0, 1}, {"pen-style", kU32, 0, 1},
        {"pen-width", kU32, 1, 1}, {"pen-colour", kU32, 0, 1}, {"fill-style", kU32, 1, 1},
        {"text-colour", kU32, 0, 1}, {"text-back-colour", kU32, 0xFFFFFF, 1},
        {"fill-colour", kU32, 0xFFFFFF, 1}, {"font", kFont, 0, 1}, {"printer", kText, 0, 1},
        {"copies", kU32, 1, 1}, {"opaque-text", kU32, 0, 1}, {"left-margin", kU32, 0, 1},
        {"top-margin", kU32, 0, 1}, {"right-margin", kU32, 0, 1}, {"bottom-margin", kU32, 0, 1},
        {"page-width", kU32, 0, 1}, {"page-height", kU32, 0, 1}, {"x", kU32, 0, 1},
        {"y", kU32, 0, 1}, {"page", kU32, 0, 1}, {"dpi-x", kU32, 0, 1}, {"dpi-y", kU32, 0, 1},
        {"from-page", kU32, 0, 1}, {"to-page", kU32, 0, 1}, {"collate", kU32, 1, 1}}},
      {0x10029, 1,
       {{"data-source", kText, 0, 1}, {"text-colour", kU32, 0, 1},
        {"back-colour", kU32, 0xFF000000, 1}, {"column-width", kU32, 80, 1},
        {"editable", kU32, 1, 1}, {"grid-lines", kU32, 1, 1}, {"header", kU32, 1, 1},
        {"row-select", kU32, 1, 1}, {"row-numbers", kU32, 0, 1}, {"resizable-columns", kU32, 1, 1}}},
      {0x1002A, 1,
       {{"provider", kText, 0, 1}, {"read-only", kU32, 0, 1}, {"allow-add", kU32, 1, 1},
        {"allow-remove", kU32, 1, 1}}},
      {0x1002B, 1, {{"rows", kU32, 0, 1}, {"columns", kU32, 1, 1}}},
      {0x1002C, 1, {{"file", kText, 0, 1}, {"mode", kU32, 0, 1}, {"password", kText, 0, 1}}},
      {0x1002D, 1,
       {{"kind", kU32, 0, 1}, {"checked", kU32, 0, 1}, {"picture", kBytes, 0, 1},
        {"hot-picture", kBytes, 0, 1}, {"pressed-picture", kBytes, 0, 1},
        {"disabled-picture", kBytes, 0, 1}, {"back-colour", kU32, 0xFF000000, 1}}},
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
  std::string raw;  // a date-time's number as written
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
    } else if (f->kind == kF64) {
      v.raw = t.text;
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
        w.text(v.set || !f.text ? v.bytes : std::string(f.text));
        break;
      case kF64: {
        double d = 0;
        if (v.set) {
          const std::string& t = v.raw;
          char* end = nullptr;
          d = std::strtod(t.c_str(), &end);
          if (t.empty() || *end) throw Error("field " + std::string(f.name) + ": expected a date-time number, found " + t);
        }
        w.raw(&d, 8);
        break;
      }
      case kItems: {
        std::vector<std::string> items;
        for (size_t at = 0; v.set && at <= v.bytes.size();) {
          size_t bar = v.bytes.find('|', at);
          if (bar == std::string::npos) bar = v.bytes.size();
          items.push_back(v.bytes.substr(at, bar - at));
          at = bar + 1;
        }
        Writer list;  // the field holds the list as its bytes; no items is no data
        if (!items.empty()) list.u32(static_cast<uint32_t>(items.size()));
        for (const std::string& item : items) list.text(item);
        w.text(std::string(list.bytes().begin(), list.bytes().end()));
        break;
      }
      case kInts: {
        Writer ints;
        for (size_t at = 0; v.set && at < v.bytes.size();) {
          size_t comma = v.bytes.find(',', at);
          if (comma == std::string::npos) comma = v.bytes.size();
          ints.u32(static_cast<uint32_t>(parse_number(v.bytes.substr(at, comma - at), f.name)));
          at = comma + 1;
        }
        w.text(std::string(ints.bytes().begin(), ints.bytes().end()));
        break;
      }
    }
  }
  return w.bytes();
}

}  // namespace vlink
