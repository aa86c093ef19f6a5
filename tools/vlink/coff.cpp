// PE-COFF object reader (i386): every read is bounded by the file.
#include "coff.h"
#include <cstring>

namespace vlink {

namespace {

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint32_t kScnUninitialised = 0x80;
constexpr uint32_t kScnRelocOverflow = 0x01000000;

std::string short_name(const Bytes& f, size_t at) {
  if (at + 8 > f.size()) throw Error("object file truncated");
  const char* p = reinterpret_cast<const char*>(&f[at]);
  return std::string(p, strnlen(p, 8));
}

std::string table_string(const Bytes& f, size_t table, uint32_t offset) {
  size_t at = table + offset;
  if (table == 0 || offset < 4 || at >= f.size()) throw Error("object file: bad string table offset");
  size_t end = at;
  while (end < f.size() && f[end]) ++end;
  if (end == f.size()) throw Error("object file: unterminated name");
  return std::string(reinterpret_cast<const char*>(&f[at]), end - at);
}

}  // namespace

CoffObject read_coff(const Bytes& f) {
  if (get16(f, 0) != kMachineI386) throw Error("not an i386 COFF object");
  uint32_t nsections = get16(f, 2);
  uint32_t symtab = get32(f, 8);
  uint32_t nsymbols = get32(f, 12);
  uint32_t opt = get16(f, 16);
  size_t strtab = 0;
  if (symtab) {
    strtab = size_t(symtab) + size_t(nsymbols) * 18;
    if (strtab + 4 > f.size()) throw Error("object file: symbol table past the end");
  }

  CoffObject obj;
  size_t sh = 20 + opt;
  for (uint32_t i = 0; i < nsections; ++i, sh += 40) {
    if (sh + 40 > f.size()) throw Error("object file: section table past the end");
    CoffSection s;
    s.name = short_name(f, sh);
    if (!s.name.empty() && s.name[0] == '/') s.name = table_string(f, strtab, std::stoul(s.name.substr(1)));
    s.size = get32(f, sh + 16);
    uint32_t raw = get32(f, sh + 20);
    uint32_t relocs = get32(f, sh + 24);
    uint32_t nrelocs = get16(f, sh + 32);
    s.characteristics = get32(f, sh + 36);
    uint32_t align_code = s.characteristics >> 20 & 0xF;
    s.alignment = align_code ? 1u << (align_code - 1) : 1;
    s.uninitialised = (s.characteristics & kScnUninitialised) != 0;
    if (!s.uninitialised && s.size) {
      if (raw > f.size() || f.size() - raw < s.size) throw Error("object file: section " + s.name + " past the end");
      s.data.assign(f.begin() + raw, f.begin() + raw + s.size);
    }
    size_t first = 0;
    if (s.characteristics & kScnRelocOverflow) {
      nrelocs = get32(f, relocs);  // the first record holds the real count
      first = 1;
    }
    for (size_t r = first; r < nrelocs; ++r) {
      size_t at = size_t(relocs) + r * 10;
      s.relocs.push_back({get32(f, at), get32(f, at + 4), get16(f, at + 8)});
    }
    obj.sections.push_back(std::move(s));
  }

  obj.symbols.resize(nsymbols);
  for (uint32_t i = 0; i < nsymbols; ++i) {
    size_t at = size_t(symtab) + size_t(i) * 18;
    CoffSymbol& sym = obj.symbols[i];
    if (get32(f, at) == 0) sym.name = table_string(f, strtab, get32(f, at + 4));
    else sym.name = short_name(f, at);
    sym.value = get32(f, at + 8);
    sym.section = static_cast<int16_t>(get16(f, at + 12));
    if (at + 18 > f.size()) throw Error("object file: symbol table past the end");
    sym.storage = f[at + 16];
    uint8_t aux = f[at + 17];
    i += aux;  // auxiliary records stay empty entries
  }
  return obj;
}

std::string source_name(const CoffObject& object, const std::string& symbol) {
  if (object.from_c && symbol.size() > 1 && symbol[0] == '_') return symbol.substr(1);
  return symbol;
}

}  // namespace vlink
