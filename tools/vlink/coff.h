// Reader of i386 PE-COFF object files, as the cross assembler writes them: sections with their
// data and relocations, and the symbol table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "bytes.h"

namespace vlink {

enum : uint16_t { kRelAbsolute = 0, kRelDir32 = 6, kRelRel32 = 0x14 };
// Storage classes of symbols: an external symbol of section 0 is undefined (value 0) or a
// common block (value = its size).
enum : uint8_t { kClassExternal = 2, kClassStatic = 3 };

struct CoffReloc {
  uint32_t offset;  // position in the section's data
  uint32_t symbol;  // symbol table index
  uint16_t type;
};

struct CoffSection {
  std::string name;
  uint32_t characteristics = 0;
  uint32_t alignment = 1;  // bytes
  bool uninitialised = false;
  uint32_t size = 0;
  Bytes data;              // empty for uninitialised data
  std::vector<CoffReloc> relocs;
};

struct CoffSymbol {
  std::string name;
  uint32_t value = 0;
  int16_t section = 0;     // 1-based; 0 undefined, -1 absolute, -2 debug
  uint8_t storage = 0;
  bool global() const { return storage == kClassExternal; }
  bool undefined() const { return global() && section == 0 && value == 0; }
  bool common() const { return global() && section == 0 && value != 0; }
};

struct CoffObject {
  std::string origin;  // the source it came from, for messages
  bool from_c = false; // C names carry a leading underscore in the symbol table
  std::vector<CoffSection> sections;
  std::vector<CoffSymbol> symbols;  // indexed as in the file (auxiliary records left empty)
};

CoffObject read_coff(const Bytes& file);  // throws Error on malformed input

// A symbol's name as its source wrote it (a C name without its leading underscore).
std::string source_name(const CoffObject& object, const std::string& symbol);

}  // namespace vlink
