// Reader of i386 PE-COFF object files, as the cross assembler writes them: sections with their
// data and relocations, and the symbol table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "bytes.h"

namespace vlink {

enum : uint16_t { kRelAbsolute = 0, kRelDir32 = 6, kRelRel32 = 0x14 };

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
};

struct CoffObject {
  std::vector<CoffSection> sections;
  std::vector<CoffSymbol> symbols;  // indexed as in the file (auxiliary records left empty)
};

CoffObject read_coff(const Bytes& file);  // throws Error on malformed input

}  // namespace vlink
