// Stored application image: header, section records, relocation items and identifier
// relocation tables. Shared by the image linker (host) and the runtime (i686): fixed-width
// fields only, no pointers.
//
// Every offset below counts from the first byte of the header's working copy ("W").
//
// Image header (its length L is the stored value of word +0x54):
// OFFSET  SIZE  DESCRIPTION
//   0x00     4  build stamp: creation time, seconds since 1970 UTC; key of the library list
//   0x04    32  zero
//   0x24     4  L again (not read)
//   0x28     4  1 (not read)
//   0x2C     4  run mode: 2 = started by the debugger; anything else (3) = stand-alone
//   0x30     4  flags: bit 0 = the start-up routine is called and its result returned
//   0x34     4  serial counter: above every identifier serial of this image
//   0x38     4  n = number of DLL commands
//   0x3C     4  offset of the start-up routine
//   0x40    20  offsets of the const, form, help, code and var section records, or -1
//   0x54     4  first section record of the chain (stored: L; converted at start-up), or -1
//   0x58    4n  DLL file names: offsets into the const data ("" = the system libraries)
//   0x58+4n 4n  DLL function names: offsets into the const data ("#12" = ordinal 12)
//   0x58+8n  -  library list: NUL-terminated texts ended by an empty text, then filler up to
//               L; this stretch (whole words) is stored XOR-ed word by word with word +0x00
//
// Section record (56 bytes, then m relocation items; the data is found by its offset):
//   0x00     4  0x38
//   0x04     4  next section record, or -1
//   0x08     4  flags: bit 4 (0x10) = zero-extend to the memory size. Stored values are 1 for
//               const, form, help and @reloc1, 5 for code, 0x13 for var
//   0x0C    24  name, NUL-padded
//   0x24     4  memory size
//   0x28     4  stored size
//   0x2C     4  data offset
//   0x30     4  m = number of relocation items
//   0x34     4  zero
//   0x38    4m  relocation items: bits 0-2 base (0 help, 1 const, 2 var, 3 code), bits 3-31
//               byte position in this section's data; the base is added to the u32 there
//
// @reloc1 data: four tables in a row, each a u32 count and that many u32 offsets into the code,
// each naming a u32 immediate operand: 1 window/unit identifier, 2 DLL command index,
// 3 library number, 4 library data type code.
#pragma once
#include <cstddef>
#include <cstdint>

namespace image::format {

inline constexpr uint32_t kAbsent = 0xFFFFFFFF;

#pragma pack(push, 1)
struct ImageHeader {
  uint32_t build_stamp;       // also the key of the library list
  uint8_t zero[32];
  uint32_t length_copy;       // L again
  uint32_t one;               // 1
  uint32_t run_mode;          // 2 = started by the debugger
  uint32_t flags;             // bit 0: call the start-up routine and return its result
  uint32_t serial_counter;    // above every identifier serial of this image
  uint32_t dll_count;         // n
  uint32_t startup;           // offset of the start-up routine
  uint32_t const_section;     // section record offsets, or kAbsent
  uint32_t form_section;
  uint32_t help_section;
  uint32_t code_section;
  uint32_t var_section;
  uint32_t first_section;     // stored: L; after start-up: offset of the first record
};
#pragma pack(pop)
static_assert(sizeof(ImageHeader) == 0x58);
static_assert(offsetof(ImageHeader, length_copy) == 0x24);
static_assert(offsetof(ImageHeader, run_mode) == 0x2C);
static_assert(offsetof(ImageHeader, serial_counter) == 0x34);
static_assert(offsetof(ImageHeader, dll_count) == 0x38);
static_assert(offsetof(ImageHeader, startup) == 0x3C);
static_assert(offsetof(ImageHeader, const_section) == 0x40);
static_assert(offsetof(ImageHeader, var_section) == 0x50);
static_assert(offsetof(ImageHeader, first_section) == 0x54);

inline constexpr uint32_t kHeaderFixedSize = sizeof(ImageHeader);
// Start of the library list block in a header with n DLL commands.
constexpr uint32_t library_list_offset(uint32_t dll_count) { return kHeaderFixedSize + 8 * dll_count; }

#pragma pack(push, 1)
struct SectionRecord {
  uint32_t fixed_length;      // 0x38
  uint32_t next;              // next record, or kAbsent
  uint32_t flags;             // kZeroExtend
  char name[24];              // NUL-padded
  uint32_t memory_size;
  uint32_t stored_size;
  uint32_t data_offset;
  uint32_t reloc_count;       // m; the items follow this record
  uint32_t zero;
};
#pragma pack(pop)
static_assert(sizeof(SectionRecord) == 0x38);
static_assert(offsetof(SectionRecord, next) == 0x04);
static_assert(offsetof(SectionRecord, flags) == 0x08);
static_assert(offsetof(SectionRecord, name) == 0x0C);
static_assert(offsetof(SectionRecord, memory_size) == 0x24);
static_assert(offsetof(SectionRecord, stored_size) == 0x28);
static_assert(offsetof(SectionRecord, data_offset) == 0x2C);
static_assert(offsetof(SectionRecord, reloc_count) == 0x30);

inline constexpr uint32_t kZeroExtend = 0x10;

// Section names and their stored flags.
inline constexpr char kConstName[] = "const";
inline constexpr char kFormName[] = "form";
inline constexpr char kHelpName[] = "help";
inline constexpr char kCodeName[] = "code";
inline constexpr char kVarName[] = "var";
inline constexpr char kRelocName[] = "@reloc1";
inline constexpr uint32_t kPlainFlags = 1, kCodeFlags = 5, kVarFlags = 0x13;

// Relocation item bases.
enum RelocBase : uint32_t { kBaseHelp = 0, kBaseConst = 1, kBaseVar = 2, kBaseCode = 3 };
inline constexpr uint32_t kBaseCount = 4;
constexpr uint32_t reloc_item(uint32_t base, uint32_t position) { return position << 3 | base; }
constexpr uint32_t reloc_base(uint32_t item) { return item & 7; }
constexpr uint32_t reloc_position(uint32_t item) { return item >> 3; }
inline constexpr uint32_t kMaxRelocPosition = 0x1FFFFFFF;

// The four identifier relocation tables of @reloc1, in stored order.
enum IdTable : uint32_t { kIdWindowUnit = 0, kIdDllIndex = 1, kIdLibrary = 2, kIdTypeCode = 3 };
inline constexpr uint32_t kIdTableCount = 4;

// The service table that fills `help`: 13 u32 entry addresses.
inline constexpr uint32_t kServiceSlots = 13;
inline constexpr uint32_t kServiceTableSize = kServiceSlots * 4;

}  // namespace image::format
