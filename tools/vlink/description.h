// The program description: header fields, libraries, DLL commands, extra sections and window
// templates, as read from the description text (syntax documented in description.cpp).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "bytes.h"

namespace vlink {

// A code position named in a description: a symbol of the assembly, or an offset into code.
struct CodeRef {
  enum Kind { kNone, kSymbol, kOffset } kind = kNone;
  std::string symbol;
  uint32_t offset = 0;
};

struct BindingDesc {
  int32_t event = 0;
  CodeRef handler;
};

struct UnitDesc {
  uint32_t id = 0;
  bool menu_item = false;
  uint32_t type = 0;
  uint32_t event_source = 0;
  std::string name, comment;             // GBK
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t parent = 0;
  std::vector<uint32_t> children;
  Bytes cursor;
  std::string tag;                       // GBK; a menu item's caption
  uint32_t flags = 0;
  uint32_t tab_order = 0;
  std::vector<BindingDesc> bindings;     // a menu item has at most one, event 0
  Bytes data;                            // the unit type's own data
};

struct WindowDesc {
  uint32_t id = 0;
  uint32_t owner = 0;
  uint32_t module = 0;
  std::string name, comment;             // GBK
  std::vector<UnitDesc> units;           // entry 0 is the window's own unit
};

struct DllDesc {
  std::string file, function;            // GBK
};

struct SectionDesc {                     // an extra section record of the chain
  std::string name;
  uint32_t flags = 1;
  std::optional<uint32_t> memory_size;   // default: the data's size
  Bytes data;
};

struct Description {
  std::optional<uint32_t> stamp;         // default: SOURCE_DATE_EPOCH, else now
  uint32_t run_mode = 3;
  uint32_t flags = 0;
  std::optional<uint32_t> serial;        // default: highest identifier serial + 1
  CodeRef startup;
  std::vector<std::string> libraries;    // GBK entries
  bool library_block = true;             // false: the header ends right after the DLL tables
  std::vector<DllDesc> dlls;
  std::vector<SectionDesc> sections;
  std::vector<WindowDesc> windows;
};

Description parse_description(const std::string& text, const std::string& file_name);

// Quoting used by the dump, the inverse of the parser's strings: GBK bytes in, a quoted
// UTF-8 literal out.
std::string quote(const std::string& gbk);
std::string hex_literal(const Bytes& b);

}  // namespace vlink
