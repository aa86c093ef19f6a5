// PE32 section table editing for the carrier section; every read is bounded by the file.
#include "pe_file.h"
#include <algorithm>
#include <cstring>
#include "abi/format/carrier_format.h"

namespace vlink {

namespace {

constexpr uint32_t kSectionRecord = 40;
constexpr uint32_t kCarrierCharacteristics = 0x00000040 | 0x20000000 | 0x40000000 | 0x80000000;  // data, x, r, w

struct PeLayout {
  uint32_t nt = 0;             // offset of "PE\0\0"
  uint32_t optional = 0;       // offset of the optional header
  uint32_t sections = 0;       // offset of the section table
  uint32_t count = 0;
};

PeLayout pe_layout(const Bytes& f) {
  if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') throw Error("not an executable (no MZ header)");
  PeLayout l;
  l.nt = get32(f, 0x3C);
  if (get32(f, l.nt) != 0x00004550) throw Error("not a PE executable");
  if (get16(f, l.nt + 4) != 0x14C) throw Error("not a 32-bit x86 executable");
  l.count = get16(f, l.nt + 6);
  uint32_t optional_size = get16(f, l.nt + 20);
  l.optional = l.nt + 24;
  if (get16(f, l.optional) != 0x10B) throw Error("not a PE32 executable");
  l.sections = l.optional + optional_size;
  if (size_t(l.sections) + size_t(l.count) * kSectionRecord > f.size()) throw Error("section table past the end of the file");
  return l;
}

bool is_carrier(const Bytes& f, uint32_t record) {
  return std::memcmp(&f[record], image::kCarrierSection, 8) == 0;
}

}  // namespace

Bytes insert_carrier(const Bytes& exe, const Bytes& carrier) {
  PeLayout l = pe_layout(exe);
  uint32_t section_align = get32(exe, l.optional + 32);
  uint32_t file_align = get32(exe, l.optional + 36);
  uint32_t headers_size = get32(exe, l.optional + 60);
  if (!section_align || !file_align) throw Error("executable has no section or file alignment");

  uint32_t first_raw = headers_size, virtual_end = 0;
  for (uint32_t i = 0; i < l.count; ++i) {
    uint32_t r = l.sections + i * kSectionRecord;
    if (is_carrier(exe, r)) throw Error("the executable already carries an image (.orvimg)");
    uint32_t vsize = get32(exe, r + 8), va = get32(exe, r + 12), raw_size = get32(exe, r + 16), raw = get32(exe, r + 20);
    if (raw_size && raw) first_raw = std::min(first_raw, raw);
    virtual_end = std::max(virtual_end, va + std::max(vsize, raw_size));
  }
  uint32_t new_record = l.sections + l.count * kSectionRecord;
  if (new_record + kSectionRecord > first_raw)
    throw Error("no room in the executable's header for another section record");

  Bytes out = exe;
  uint32_t raw = align_up(static_cast<uint32_t>(out.size()), file_align);
  uint32_t raw_size = align_up(static_cast<uint32_t>(carrier.size()), file_align);
  uint32_t va = align_up(virtual_end, section_align);
  out.resize(raw, 0);
  out.insert(out.end(), carrier.begin(), carrier.end());
  out.resize(size_t(raw) + raw_size, 0);

  std::memcpy(&out[new_record], image::kCarrierSection, 8);
  put32(out, new_record + 8, static_cast<uint32_t>(carrier.size()));
  put32(out, new_record + 12, va);
  put32(out, new_record + 16, raw_size);
  put32(out, new_record + 20, raw);
  for (uint32_t k = 24; k < 36; k += 4) put32(out, new_record + k, 0);
  put32(out, new_record + 36, kCarrierCharacteristics);

  put16(out, l.nt + 6, static_cast<uint16_t>(l.count + 1));
  put32(out, l.optional + 56, align_up(va + static_cast<uint32_t>(carrier.size()), section_align));  // SizeOfImage
  put32(out, l.optional + 8, get32(out, l.optional + 8) + raw_size);  // SizeOfInitializedData
  put32(out, l.optional + 64, 0);  // CheckSum: no longer valid
  return out;
}

Bytes extract_carrier(const Bytes& f) {
  if (f.size() >= 4 && get32(f, 0) == image::kCarrierMagic) return f;
  PeLayout l = pe_layout(f);
  for (uint32_t i = 0; i < l.count; ++i) {
    uint32_t r = l.sections + i * kSectionRecord;
    if (!is_carrier(f, r)) continue;
    uint32_t vsize = get32(f, r + 8), raw_size = get32(f, r + 16), raw = get32(f, r + 20);
    uint32_t n = std::min(vsize, raw_size);
    if (raw > f.size() || f.size() - raw < n) throw Error("carrier section past the end of the file");
    return Bytes(f.begin() + raw, f.begin() + raw + n);
  }
  throw Error("the executable carries no image (no .orvimg section)");
}

}  // namespace vlink
