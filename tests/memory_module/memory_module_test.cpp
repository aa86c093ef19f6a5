// In-memory module loader: the test module run from a compressed copy, damaged images refused
// with their codes, relocation types checked on a placed image, and a seeded mutation run.
#include <gtest/gtest.h>
#include <zlib.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>
#include "image/memory_module.h"
#include "kit.h"

namespace {

using Bytes = std::vector<uint8_t>;
using image::load_memory_module;
using image::free_memory_module;
using image::memory_module_export;

constexpr uint32_t kPreferredBase = 0x6A000000;  // mmtest's link-time base

const Bytes& good_image() {
  static const Bytes bytes = [] {
    std::ifstream f(kit::bin_dir() + "mmtest.dll", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }();
  return bytes;
}

Bytes compress(const Bytes& raw) {
  uLongf n = compressBound(raw.size());
  Bytes out(n);
  EXPECT_EQ(compress2(out.data(), &n, raw.data(), raw.size(), 9), Z_OK);
  out.resize(n);
  return out;
}

std::string env(const char* name) {
  char buf[64] = {};
  return GetEnvironmentVariableA(name, buf, sizeof buf) ? buf : "";
}

// Field positions of a PE32 image, read the plain way (the images here are our own).
struct Layout {
  explicit Layout(Bytes& b) : b(b) {}
  Bytes& b;
  uint32_t& u32(size_t at) { return *reinterpret_cast<uint32_t*>(&b[at]); }
  uint16_t& u16(size_t at) { return *reinterpret_cast<uint16_t*>(&b[at]); }
  size_t nt() { return u32(0x3C); }
  IMAGE_NT_HEADERS32& headers() { return *reinterpret_cast<IMAGE_NT_HEADERS32*>(&b[nt()]); }
  IMAGE_OPTIONAL_HEADER32& opt() { return headers().OptionalHeader; }
  size_t section_table() { return nt() + 4 + sizeof(IMAGE_FILE_HEADER) + headers().FileHeader.SizeOfOptionalHeader; }
  IMAGE_SECTION_HEADER& section(const char* name) {
    auto* s = reinterpret_cast<IMAGE_SECTION_HEADER*>(&b[section_table()]);
    for (int i = 0; i < headers().FileHeader.NumberOfSections; ++i)
      if (std::strncmp(reinterpret_cast<char*>(s[i].Name), name, 8) == 0) return s[i];
    throw std::runtime_error(name);
  }
  size_t file_offset(uint32_t rva) {  // of an address inside some section
    auto* s = reinterpret_cast<IMAGE_SECTION_HEADER*>(&b[section_table()]);
    for (int i = 0; i < headers().FileHeader.NumberOfSections; ++i)
      if (rva >= s[i].VirtualAddress && rva < s[i].VirtualAddress + s[i].SizeOfRawData)
        return rva - s[i].VirtualAddress + s[i].PointerToRawData;
    throw std::runtime_error("rva");
  }
  size_t reloc() { return file_offset(opt().DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress); }
  void replace_text(const char* from, const char* to) {  // same length
    auto at = std::search(b.begin(), b.end(), from, from + std::strlen(from));
    if (at == b.end()) throw std::runtime_error(from);
    std::memcpy(&*at, to, std::strlen(to));
  }
  // A base address that is certainly taken (this test program), so the image must move.
  void force_relocation() { opt().ImageBase = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)); }
};

TEST(MemoryModule, RunsTheTestModuleFromACompressedCopy) {
  const Bytes packed = compress(good_image());
  SetEnvironmentVariableA("MMTEST_STATE", "none");
  uint32_t error = 1;
  HMODULE first = image::load_compressed_module(packed.data(), packed.size(), good_image().size(),
                                                L"mmtest", 0, &error);
  ASSERT_NE(first, nullptr) << std::hex << error;
  EXPECT_EQ(error, image::kMemOk);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first), kPreferredBase);  // free, so taken
  EXPECT_TRUE(image::is_memory_module(first));
  EXPECT_EQ(env("MMTEST_STATE"), "attached");

  using Sum = int (*)(int, int);
  using Word = const char* (*)(int);
  using Count = int (*)();
  auto sum = reinterpret_cast<Sum>(memory_module_export(first, "mm_sum"));
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum(2, 3), 1005);  // through mmord's ordinal-only export
  EXPECT_EQ(memory_module_export(first, "MM_SUM"), reinterpret_cast<FARPROC>(sum));
  EXPECT_EQ(memory_module_export(first, MAKEINTRESOURCEA(3)), reinterpret_cast<FARPROC>(sum));
  auto secret = reinterpret_cast<Count>(memory_module_export(first, MAKEINTRESOURCEA(9)));
  ASSERT_NE(secret, nullptr);
  EXPECT_EQ(secret(), 0x5EC2E7);
  EXPECT_EQ(memory_module_export(first, "mm_secret"), nullptr);  // exported without a name
  EXPECT_EQ(memory_module_export(first, "mm_missing"), nullptr);
  EXPECT_EQ(memory_module_export(first, MAKEINTRESOURCEA(100)), nullptr);
  EXPECT_EQ(memory_module_export(first, MAKEINTRESOURCEA(1)), nullptr);  // below the export base

  // A second copy cannot take the preferred base: it runs relocated, with its own data.
  HMODULE second = image::load_compressed_module(packed.data(), packed.size(), good_image().size(),
                                                 L"mmtest2", 0, &error);
  ASSERT_NE(second, nullptr) << std::hex << error;
  EXPECT_NE(second, first);
  for (HMODULE m : {first, second}) {
    const uintptr_t lo = reinterpret_cast<uintptr_t>(m), hi = lo + image::memory_module_size(m);
    auto word = reinterpret_cast<Word>(memory_module_export(m, "mm_word"));
    ASSERT_NE(word, nullptr);
    const char* beta = word(1);
    EXPECT_STREQ(beta, "beta");
    EXPECT_TRUE(reinterpret_cast<uintptr_t>(beta) >= lo && reinterpret_cast<uintptr_t>(beta) < hi);
    EXPECT_TRUE(reinterpret_cast<uintptr_t>(word) >= lo && reinterpret_cast<uintptr_t>(word) < hi);
  }
  auto bump1 = reinterpret_cast<Count>(memory_module_export(first, "mm_bump"));
  auto bump2 = reinterpret_cast<Count>(memory_module_export(second, "mm_bump"));
  EXPECT_EQ(bump1(), 1);
  EXPECT_EQ(bump1(), 2);
  EXPECT_EQ(bump2(), 1);
  EXPECT_STREQ(image::memory_module_name(second), L"mmtest2");

  SetEnvironmentVariableA("MMTEST_STATE", "none");
  EXPECT_EQ(free_memory_module(second), 0);
  EXPECT_EQ(env("MMTEST_STATE"), "detached");
  EXPECT_FALSE(image::is_memory_module(second));
  EXPECT_EQ(free_memory_module(first), 0);
  EXPECT_EQ(memory_module_export(first, "mm_sum"), nullptr);  // forgotten
  // Both copies released mmord again: it was loaded only for them.
  EXPECT_EQ(GetModuleHandleA("mmord.dll"), nullptr);
}

TEST(MemoryModule, EntryFlagsAndRefusedAttach) {
  struct Case {
    uint32_t flags;
    bool refuse;
    uint32_t want_error;
    const char* want_state;
  } cases[] = {
      {0, false, image::kMemOk, "attached"},
      {image::kMemEntryOnThread, false, image::kMemOk, "attached"},
      {image::kMemSkipEntry, false, image::kMemOk, "none"},
      {0, true, image::kMemEntryRefused, "none"},
      {image::kMemEntryOnThread, true, image::kMemEntryRefused, "none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << std::hex << c.flags << " refuse " << c.refuse);
    SetEnvironmentVariableA("MMTEST_STATE", "none");
    SetEnvironmentVariableA("MMTEST_REFUSE", c.refuse ? "1" : nullptr);
    uint32_t error = 1;
    HMODULE m = load_memory_module(good_image().data(), good_image().size(), L"mmtest", c.flags, &error);
    EXPECT_EQ(error, c.want_error);
    EXPECT_EQ(m != nullptr, c.want_error == image::kMemOk);
    EXPECT_EQ(env("MMTEST_STATE"), c.want_state);
    if (m) {
      EXPECT_EQ(free_memory_module(m), 0);
      EXPECT_EQ(env("MMTEST_STATE"), c.flags & image::kMemSkipEntry ? "none" : "detached");
    }
  }
  SetEnvironmentVariableA("MMTEST_REFUSE", nullptr);
  EXPECT_EQ(GetModuleHandleA("mmord.dll"), nullptr);  // a refused load released its imports
}

TEST(MemoryModule, DamagedCompressedCopiesAreRefused) {
  const Bytes packed = compress(good_image());
  const size_t n = good_image().size();
  struct Case {
    const char* what;
    size_t stream_size, image_size;
    uint32_t want;
  } cases[] = {
      {"cut stream", packed.size() / 2, n, image::kMemDamagedCopy},
      {"stated length too long", packed.size(), n + 1, image::kMemDamagedCopy},
      {"stated length too short", packed.size(), n - 1, image::kMemDamagedCopy},
      {"no stream", 0, n, image::kMemNoInput},
  };
  for (const Case& c : cases) {
    uint32_t error = 0;
    EXPECT_EQ(image::load_compressed_module(packed.data(), c.stream_size, c.image_size, L"x", 0, &error), nullptr) << c.what;
    EXPECT_EQ(error, c.want) << c.what;
  }
  Bytes flipped = packed;
  flipped[flipped.size() / 2] ^= 0x55;  // breaks the data or its checksum
  uint32_t error = 0;
  EXPECT_EQ(image::load_compressed_module(flipped.data(), flipped.size(), n, L"x", 0, &error), nullptr);
  EXPECT_EQ(error, image::kMemDamagedCopy);
}

TEST(MemoryModule, DamagedImagesAreRefusedWithTheirCodes) {
  using image::kMemBadFormat, image::kMemTruncated, image::kMemNotRunnable, image::kMemDirectoryCount,
      image::kMemNoRelocations, image::kMemNoInput, image::kMemImportModule, image::kMemImportFunction;
  struct Case {
    const char* what;
    std::function<void(Layout&)> damage;
    uint32_t want;
  } cases[] = {
      {"DOS header cut", [](Layout& l) { l.b.resize(40); }, kMemTruncated},
      {"no MZ", [](Layout& l) { l.u16(0) = 0x4D5A; }, kMemBadFormat},
      {"e_lfanew beyond the buffer", [](Layout& l) { l.u32(0x3C) = l.b.size() + 16; }, kMemTruncated},
      {"e_lfanew at the very end", [](Layout& l) { l.u32(0x3C) = l.b.size() - 2; }, kMemTruncated},
      {"no PE", [](Layout& l) { l.u32(l.nt()) = 0x4551; }, kMemBadFormat},
      {"file header cut", [](Layout& l) { l.b.resize(l.nt() + 10); }, kMemTruncated},
      {"optional header cut", [](Layout& l) { l.b.resize(l.nt() + 24 + 60); }, kMemTruncated},
      {"directories cut", [](Layout& l) { l.b.resize(l.nt() + 24 + 200); }, kMemTruncated},
      {"section table cut", [](Layout& l) { l.b.resize(l.section_table() + 50); }, kMemTruncated},
      {"no sections", [](Layout& l) { l.headers().FileHeader.NumberOfSections = 0; }, kMemBadFormat},
      {"64-bit optional header", [](Layout& l) { l.opt().Magic = 0x20B; }, kMemBadFormat},
      {"optional header too small", [](Layout& l) { l.headers().FileHeader.SizeOfOptionalHeader = 64; }, kMemBadFormat},
      {"image size 0", [](Layout& l) { l.opt().SizeOfImage = 0; }, kMemBadFormat},
      {"header size 0", [](Layout& l) { l.opt().SizeOfHeaders = 0; }, kMemBadFormat},
      {"not executable", [](Layout& l) { l.headers().FileHeader.Characteristics &= ~IMAGE_FILE_EXECUTABLE_IMAGE; }, kMemNotRunnable},
      {"no subsystem", [](Layout& l) { l.opt().Subsystem = 0; }, kMemNotRunnable},
      {"15 directories", [](Layout& l) { l.opt().NumberOfRvaAndSizes = 15; }, kMemDirectoryCount},
      {"17 directories", [](Layout& l) { l.opt().NumberOfRvaAndSizes = 17; }, kMemDirectoryCount},
      {"section data beyond the buffer", [](Layout& l) { l.section(".text").PointerToRawData = l.b.size() - 16; }, kMemTruncated},
      {"section beyond the image", [](Layout& l) { l.section(".rdata").VirtualAddress = l.opt().SizeOfImage; }, kMemBadFormat},
      {"entry beyond the image", [](Layout& l) { l.opt().AddressOfEntryPoint = 0x7FFFFFF0; }, kMemBadFormat},
      {"relocation block beyond its directory", [](Layout& l) { l.force_relocation(); l.u32(l.reloc() + 4) = 0x10000; }, kMemNoRelocations},
      {"relocation block shorter than its header", [](Layout& l) { l.force_relocation(); l.u32(l.reloc() + 4) = 4; }, kMemNoRelocations},
      {"relocation directory beyond the image", [](Layout& l) { l.force_relocation(); l.opt().DataDirectory[5].VirtualAddress = 0xFFFFF000; }, kMemNoRelocations},
      {"relocation target beyond the image", [](Layout& l) { l.force_relocation(); l.u32(l.reloc()) = l.opt().SizeOfImage; }, kMemNoRelocations},
      {"relocations stripped", [](Layout& l) { l.force_relocation(); l.opt().DataDirectory[5] = {0, 0}; }, kMemNoRelocations},
      {"unknown relocation type", [](Layout& l) { l.force_relocation(); l.u16(l.reloc() + 8) = (l.u16(l.reloc() + 8) & 0xFFF) | 0x7000; }, kMemNoInput},
      {"import directory beyond the image", [](Layout& l) { l.opt().DataDirectory[1].VirtualAddress = l.opt().SizeOfImage - 4; }, kMemBadFormat},
      {"missing import module", [](Layout& l) { l.replace_text("mmord.dll", "mmnix.dll"); }, kMemImportModule},
      {"missing import function", [](Layout& l) { l.replace_text("SetEnvironmentVariableA", "SetEnvironmentVariableQ"); }, kMemImportFunction},
  };
  for (const Case& c : cases) {
    Bytes b = good_image();
    Layout l(b);
    c.damage(l);
    uint32_t error = 0;
    HMODULE m = load_memory_module(b.data(), b.size(), L"damaged", image::kMemSkipEntry, &error);
    EXPECT_EQ(m, nullptr) << c.what;
    EXPECT_EQ(error, c.want) << c.what << std::hex << " got 0x" << error;
  }
  uint32_t error = 0;
  EXPECT_EQ(load_memory_module(nullptr, 100, L"x", 0, &error), nullptr);
  EXPECT_EQ(error, kMemNoInput);
  EXPECT_EQ(load_memory_module(good_image().data(), 0, L"x", 0, &error), nullptr);
  EXPECT_EQ(error, kMemNoInput);
  EXPECT_EQ(load_memory_module(good_image().data(), good_image().size(), L"", 0, &error), nullptr);
  EXPECT_EQ(error, image::kMemNoName);
  EXPECT_EQ(GetModuleHandleA("mmord.dll"), nullptr);
}

// Relocation types 1 (high half), 2 (low half) and 4 (high half with the low half as the next
// entry), written into the test module's relocation data and applied at a forced other base.
TEST(MemoryModule, AppliesEveryRelocationType) {
  Bytes b = good_image();
  Layout l(b);
  l.force_relocation();
  const uint32_t old_base = l.opt().ImageBase;
  const IMAGE_SECTION_HEADER& data = l.section(".rdata");
  ASSERT_GE(data.Misc.VirtualSize, 0x50u);
  const uint32_t at = data.VirtualAddress + 0x40;
  const size_t file_at = data.PointerToRawData + 0x40;
  const uint16_t high = 0x1234, low = 0xFFF0, adj_high = 0x0042;
  const int16_t adj_low = -0x100;
  std::memcpy(&b[file_at + 0], &high, 2);
  std::memcpy(&b[file_at + 4], &low, 2);
  std::memcpy(&b[file_at + 8], &adj_high, 2);
  std::memcpy(&b[file_at + 12], &high, 2);  // a type-0 entry leaves this alone
  const uint16_t entries[] = {uint16_t(0x1000 | 0x40), uint16_t(0x2000 | 0x44), uint16_t(0x4000 | 0x48),
                              uint16_t(adj_low), uint16_t(0x0000 | 0x4C), 0};
  const uint32_t block[2] = {data.VirtualAddress, uint32_t(8 + sizeof entries)};
  std::memcpy(&b[l.reloc()], block, 8);
  std::memcpy(&b[l.reloc() + 8], entries, sizeof entries);
  l.opt().DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size = 8 + sizeof entries;

  uint32_t error = 1;
  HMODULE m = load_memory_module(b.data(), b.size(), L"relocated", image::kMemSkipEntry, &error);
  ASSERT_NE(m, nullptr) << std::hex << error;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(m);
  const uint32_t delta = reinterpret_cast<uintptr_t>(m) - old_base;
  ASSERT_NE(delta, 0u);
  auto word = [&](uint32_t off) { uint16_t w; std::memcpy(&w, base + at + off, 2); return w; };
  EXPECT_EQ(word(0), uint16_t(high + (delta >> 16)));
  EXPECT_EQ(word(4), uint16_t(low + (delta & 0xFFFF)));
  const uint32_t full = (uint32_t(adj_high) << 16) + uint32_t(int32_t(adj_low)) + delta;
  EXPECT_EQ(word(8), uint16_t((full + 0x8000) >> 16));
  EXPECT_EQ(word(12), high);
  EXPECT_EQ(free_memory_module(m), 0);
}

// Seeded mutations of the good image: each loads or is refused with a known code, never crashes.
// The entry is never called (kMemSkipEntry), so an image that passes verification runs none of
// its own code: only the loader's reading, relocation and import binding are exercised.
TEST(MemoryModule, TenThousandMutationsNeverCrash) {
  const std::set<uint32_t> known = {image::kMemBadFormat, image::kMemNotRunnable, image::kMemNoInput,
                                    image::kMemImportModule, image::kMemImportFunction, image::kMemNoRelocations,
                                    image::kMemTruncated, image::kMemNoMemory, image::kMemDirectoryCount};
  const Bytes& good = good_image();
  const uint32_t interesting[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x1000, 0x10000,
                                  uint32_t(good.size()), uint32_t(good.size()) + 1,
                                  uint32_t(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)))};
  std::mt19937 rng(20261209);
  int loaded = 0, refused = 0;
  for (int round = 0; round < 10000; ++round) {
    Bytes b = good;
    const int edits = 1 + rng() % 4;
    for (int e = 0; e < edits && b.size() >= 4; ++e) {
      const uint32_t kind = rng() % 10;
      if (kind < 4) {                                  // a header byte
        b[rng() % std::min<size_t>(b.size(), 0x400)] = uint8_t(rng());
      } else if (kind < 7) {                           // any byte
        b[rng() % b.size()] = uint8_t(rng());
      } else if (kind < 9) {                           // a header word set to an edge value
        const size_t at = (rng() % (std::min<size_t>(b.size(), 0x400) / 4)) * 4;
        const uint32_t v = interesting[rng() % std::size(interesting)];
        std::memcpy(&b[at], &v, 4);
      } else {                                         // cut short
        b.resize(rng() % b.size());
      }
    }
    uint32_t error = 0xDEAD;
    HMODULE m = load_memory_module(b.empty() ? nullptr : b.data(), b.size(), L"mutant", image::kMemSkipEntry, &error);
    if (m) {
      ++loaded;
      EXPECT_EQ(error, image::kMemOk);
      memory_module_export(m, "mm_sum");
      memory_module_export(m, MAKEINTRESOURCEA(9));
      EXPECT_EQ(free_memory_module(m), 0);
    } else {
      ++refused;
      EXPECT_TRUE(known.count(error)) << "round " << round << std::hex << " code 0x" << error;
    }
  }
  // Both outcomes occur, so the run exercised the loader beyond its first checks.
  EXPECT_GT(loaded, 100);
  EXPECT_GT(refused, 100);
  EXPECT_EQ(GetModuleHandleA("mmord.dll"), nullptr);
}

}  // namespace
