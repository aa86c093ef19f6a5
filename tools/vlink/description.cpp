// Parser of program descriptions: the declarative half of a program (header fields, library
// list, DLL commands, window templates) that goes beside its assembly.
//
// Syntax. One statement per line, words separated by blanks; indentation is only for the
// reader. A line ending in a lone `\` goes on on the next line. `#` starts a comment outside strings. Numbers are decimal or 0x-hexadecimal, and may
// be negative where a signed value makes sense (-1 = 0xFFFFFFFF). Strings are "double-quoted"
// UTF-8 and stored as GBK; escapes: \" \\ \r \n \t and \xNN (one raw byte, not converted).
// Binary data is written hex "0A 0B0C ...", blanks ignored.
//
// Program statements (before the first window):
//   stamp N                 build stamp, seconds since 1970 (default: SOURCE_DATE_EPOCH or now)
//   run-mode N              2 = started by the debugger; default 3
//   flags N                 bit 0: the start-up routine's result is returned; default 0
//   serial N                serial counter (default: highest identifier serial + 1)
//   startup REF             the start-up routine
//   library "entry"         one library list entry, in order (fields separated by \r)
//   no-library-block        the header ends right after the DLL name tables
//   dll "file" "function"   one DLL command, in index order ("" = the system libraries,
//                           "#12" = the export with ordinal 12)
//   section "name" [flags N] [memory N] [hex "..."]
//                           an extra section record (flags 0x10 = zero-extend to memory N)
//
// Window templates:
//   window ID "name"        starts a template; then, for the window:
//     owner N   module N   comment "..."
//   unit ID "name" type N   starts a unit entry of the last window; the first entry is the
//                           window's own unit
//   menu-item ID "name"     starts a menu item entry (type 0x10003 unless `type` follows)
//     for the last entry:
//     type N   comment "..."   event-source ID   position LEFT TOP WIDTH HEIGHT   parent ID
//     children ID...   cursor hex "..."   tag "..."   tab-order N
//     flags WORD... | N     units: visible disabled tab-stop; menu items: hidden disabled
//                           checked builder
//     on EVENT REF          an event binding (units)
//     caption "..."         handler REF (menu items)
//     data hex "..."        the unit type's own data (repeatable: appended)
//     fields NAME VALUE...  the same, encoded by field name for core unit types
//                           (unit_fields.h)
//
// REF is a symbol of the assembly, @N for an offset into the code, or none.
#include "description.h"
#include <cctype>
#include <cstdio>
#include <map>
#include "gbk.h"
#include "unit_fields.h"

namespace vlink {

namespace {

struct Token {
  std::string text;  // string tokens: the GBK bytes
  bool quoted = false;
};

class LineParser {
 public:
  LineParser(const std::string& file, int line) : where_(file + ":" + std::to_string(line) + ": ") {}

  [[noreturn]] void fail(const std::string& what) const { throw Error(where_ + what); }

  std::vector<Token> tokenize(const std::string& line) const {
    std::vector<Token> out;
    size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (c == ' ' || c == '\t' || c == '\r') { ++i; continue; }
      if (c == '#') break;
      if (c == '"') {
        out.push_back({unquote(line, i), true});
        continue;
      }
      size_t start = i;
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '"' && line[i] != '#') ++i;
      out.push_back({line.substr(start, i - start), false});
    }
    return out;
  }

 private:
  // Reads a quoted literal starting at line[i] == '"'; advances i past it.
  std::string unquote(const std::string& line, size_t& i) const {
    std::string out, run;
    auto flush = [&] { out += utf8_to_gbk(run); run.clear(); };
    for (++i; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') {
        ++i;
        flush();
        return out;
      }
      if (c != '\\') { run += c; continue; }
      if (++i >= line.size()) break;
      char e = line[i];
      switch (e) {
        case '"': case '\\': run += e; break;
        case 'r': run += '\r'; break;
        case 'n': run += '\n'; break;
        case 't': run += '\t'; break;
        case 'x': {
          if (i + 2 >= line.size() || !std::isxdigit(static_cast<unsigned char>(line[i + 1])) ||
              !std::isxdigit(static_cast<unsigned char>(line[i + 2])))
            fail("\\x needs two hexadecimal digits");
          flush();
          out += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
          i += 2;
          break;
        }
        default: fail(std::string("unknown escape \\") + e);
      }
    }
    fail("string not closed");
  }

  std::string where_;
};

class Parser {
 public:
  explicit Parser(const std::string& file) : file_(file) {}

  Description parse(const std::string& text) {
    int number = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
      LineParser lp(file_, number + 1);
      line_ = &lp;
      toks_.clear();
      bool go_on = true;
      while (go_on && pos <= text.size()) {  // one statement, over continued lines
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        ++number;
        std::vector<Token> part = lp.tokenize(text.substr(pos, end - pos));
        go_on = !part.empty() && !part.back().quoted && part.back().text == "\\";
        if (go_on) part.pop_back();
        toks_.insert(toks_.end(), part.begin(), part.end());
        pos = end + 1;
      }
      at_ = 0;
      if (!toks_.empty()) statement();
    }
    return std::move(d_);
  }

 private:
  [[noreturn]] void fail(const std::string& what) { line_->fail(what); }
  bool more() const { return at_ < toks_.size(); }
  const Token& next(const char* what) {
    if (!more()) fail(std::string("missing ") + what);
    return toks_[at_++];
  }
  std::string word(const char* what) {
    const Token& t = next(what);
    if (t.quoted) fail(std::string("expected ") + what + ", found a string");
    return t.text;
  }
  std::string string(const char* what) {
    const Token& t = next(what);
    if (!t.quoted) fail(std::string("expected a quoted ") + what + ", found " + t.text);
    return t.text;
  }
  int64_t number(const char* what) {
    std::string w = word(what);
    try {
      size_t used = 0;
      int64_t v = std::stoll(w, &used, 0);
      if (used != w.size() || v < -0x80000000LL || v > 0xFFFFFFFFLL) throw 0;
      return v;
    } catch (...) {
      fail(std::string("expected a number for ") + what + ", found " + w);
    }
  }
  uint32_t u32(const char* what) { return static_cast<uint32_t>(number(what)); }
  Bytes hex() {
    if (word("hex") != "hex") fail("expected hex \"...\"");
    std::string s = string("hexadecimal bytes");
    while (more() && toks_[at_].quoted) s += toks_[at_++].text;  // "..." "..." joined
    Bytes out;
    std::string digits;
    for (char c : s) {
      if (std::isspace(static_cast<unsigned char>(c))) continue;
      if (!std::isxdigit(static_cast<unsigned char>(c))) fail(std::string("not a hexadecimal digit: ") + c);
      digits += c;
    }
    if (digits.size() % 2) fail("odd number of hexadecimal digits");
    for (size_t i = 0; i < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
  }
  CodeRef ref(const char* what) {
    std::string w = word(what);
    CodeRef r;
    if (w == "none") return r;
    if (w[0] == '@') {
      r.kind = CodeRef::kOffset;
      try {
        size_t used = 0;
        r.offset = static_cast<uint32_t>(std::stoul(w.substr(1), &used, 0));
        if (used != w.size() - 1) throw 0;
      } catch (...) {
        fail("bad code offset " + w);
      }
      return r;
    }
    r.kind = CodeRef::kSymbol;
    r.symbol = w;
    return r;
  }
  void done() {
    if (more()) fail("unexpected " + toks_[at_].text);
  }
  WindowDesc& window() {
    if (d_.windows.empty()) fail("no window yet");
    return d_.windows.back();
  }
  UnitDesc& unit() {
    if (window().units.empty()) fail("no unit yet");
    return window().units.back();
  }

  uint32_t flag_words(bool menu) {
    static const std::map<std::string, uint32_t> unit_flags = {{"visible", 1}, {"disabled", 2}, {"tab-stop", 4}};
    static const std::map<std::string, uint32_t> menu_flags = {{"hidden", 1}, {"disabled", 2}, {"checked", 4}, {"builder", 8}};
    const auto& names = menu ? menu_flags : unit_flags;
    uint32_t v = 0;
    while (more()) {
      const Token& t = toks_[at_];
      auto it = names.find(t.text);
      if (it != names.end()) { v |= it->second; ++at_; }
      else v |= u32("flags");
    }
    return v;
  }

  void statement() {
    std::string kw = word("statement");
    if (kw == "stamp") d_.stamp = u32("stamp");
    else if (kw == "run-mode") d_.run_mode = u32("run mode");
    else if (kw == "flags" && !in_unit_) d_.flags = u32("flags");
    else if (kw == "serial") d_.serial = u32("serial");
    else if (kw == "startup") d_.startup = ref("start-up routine");
    else if (kw == "library") d_.libraries.push_back(string("library entry"));
    else if (kw == "no-library-block") d_.library_block = false;
    else if (kw == "dll") {
      DllDesc dll;
      dll.file = string("DLL file name");
      dll.function = string("DLL function name");
      d_.dlls.push_back(dll);
    } else if (kw == "section") {
      SectionDesc s;
      s.name = string("section name");
      if (s.name.empty() || s.name.size() > 23) fail("a section name has 1 to 23 bytes");
      while (more()) {
        std::string k = toks_[at_].text;
        if (k == "flags") { ++at_; s.flags = u32("section flags"); }
        else if (k == "memory") { ++at_; s.memory_size = u32("memory size"); }
        else if (k == "hex") s.data = hex();
        else fail("unexpected " + k);
      }
      d_.sections.push_back(s);
    } else if (kw == "window") {
      WindowDesc w;
      w.id = u32("window identifier");
      w.name = string("window name");
      d_.windows.push_back(w);
      in_unit_ = false;
    } else if (kw == "owner" && !in_unit_) window().owner = u32("owner");
    else if (kw == "module" && !in_unit_) window().module = u32("module");
    else if (kw == "comment" && !in_unit_) window().comment = string("comment");
    else if (kw == "unit" || kw == "menu-item") {
      UnitDesc u;
      u.menu_item = kw == "menu-item";
      u.id = u32("identifier");
      u.name = string("name");
      bool menu_id = (u.id >> 24 & 0xF) == 6 && u.id >> 28 == 2;
      if (menu_id != u.menu_item)
        fail(u.menu_item ? "a menu item's identifier has class 6, kind 2 (0x26xxxxxx)"
                         : "identifier of kind 2 (0x26xxxxxx) names a menu item: use menu-item");
      if (u.menu_item) u.type = 0x10003;
      else {
        if (word("type") != "type") fail("expected: unit ID \"name\" type N");
        u.type = u32("unit type");
      }
      window().units.push_back(u);
      in_unit_ = true;
    } else if (in_unit_) unit_statement(kw);
    else fail("unknown statement " + kw);
    done();
  }

  void unit_statement(const std::string& kw) {
    UnitDesc& u = unit();
    if (kw == "type") u.type = u32("type");
    else if (kw == "comment") u.comment = string("comment");
    else if (kw == "event-source") u.event_source = u32("event source");
    else if (kw == "position" && !u.menu_item) {
      u.left = static_cast<int32_t>(number("left"));
      u.top = static_cast<int32_t>(number("top"));
      u.width = static_cast<int32_t>(number("width"));
      u.height = static_cast<int32_t>(number("height"));
    } else if (kw == "parent" && !u.menu_item) u.parent = u32("parent");
    else if (kw == "children" && !u.menu_item) {
      while (more()) u.children.push_back(u32("child identifier"));
    } else if (kw == "cursor" && !u.menu_item) u.cursor = hex();
    else if (kw == "tag" && !u.menu_item) u.tag = string("tag");
    else if (kw == "caption" && u.menu_item) u.tag = string("caption");
    else if (kw == "flags") u.flags = flag_words(u.menu_item);
    else if (kw == "tab-order" && !u.menu_item) u.tab_order = u32("tab order");
    else if (kw == "on" && !u.menu_item) {
      BindingDesc b;
      b.event = static_cast<int32_t>(number("event number"));
      b.handler = ref("handler");
      u.bindings.push_back(b);
    } else if (kw == "handler" && u.menu_item) {
      u.bindings.assign(1, BindingDesc{0, ref("handler")});
    } else if (kw == "data") {
      Bytes b = hex();
      u.data.insert(u.data.end(), b.begin(), b.end());
    } else if (kw == "fields" && !u.menu_item) {  // typed encoders: unit_fields.h
      std::vector<FieldToken> f;
      while (more()) f.push_back({toks_[at_].text, toks_[at_].quoted}), ++at_;
      try {
        Bytes b = encode_unit_fields(u.type, f, file_);
        u.data.insert(u.data.end(), b.begin(), b.end());
      } catch (const Error& e) {
        fail(e.what());
      }
    } else fail("unknown statement " + kw + (u.menu_item ? " for a menu item" : " for a unit"));
  }

  std::string file_;
  LineParser* line_ = nullptr;
  std::vector<Token> toks_;
  size_t at_ = 0;
  bool in_unit_ = false;
  Description d_;
};

}  // namespace

Description parse_description(const std::string& text, const std::string& file_name) {
  return Parser(file_name).parse(text);
}

std::string quote(const std::string& gbk) {
  std::string out = "\"";
  char esc[8];
  for (size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c == '"' || c == '\\') { out += '\\'; out += static_cast<char>(c); }
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else if (c >= 0x81 && i + 1 < gbk.size() && gbk_pair_to_utf8(c, static_cast<unsigned char>(gbk[i + 1]), out)) ++i;
    else {
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    }
  }
  return out + "\"";
}

std::string hex_literal(const Bytes& b) {
  std::string out = "hex \"";
  char h[4];
  for (size_t i = 0; i < b.size(); ++i) {
    if (i && i % 4 == 0) out += ' ';
    std::snprintf(h, sizeof h, "%02X", b[i]);
    out += h;
  }
  return out + "\"";
}

}  // namespace vlink
