// The library descriptor record: the binary interface of every support library, returned by
// its GetNewInf entry. The values on the right are the core library's.
//
// Library descriptor, 36 u32 fields, no padding:
// OFFSET  FIELD                                   CORE VALUE
//   0x00  format number                           20000101
//   0x04  signature text                          "5b1e07c2a94d4f3e8c61d0a7f2b83e19"
//   0x08  major, minor version, build             5, 0, 64
//   0x14  required system major, minor            3, 7
//   0x1C  required core library major, minor      3, 7
//   0x24  name                                    "系统核心支持库"
//   0x28  language code                           1
//   0x2C  description                             ""
//   0x30  state flags (bit 2: no run-time code)   0xC0000009
//   0x34  eight texts: author .. other info       ""
//   0x54  data type count, table                  51, unit type entries
//   0x5C  command category count, names           0, null
//   0x64  command information count, table        0, null
//   0x6C  command routine table                   658 slots
//   0x70  add-in routine, add-in descriptions     returns null, null
//   0x78  library notification routine            library_notify
//   0x7C  template routine, descriptions          null, null
//   0x84  constant count, table                   0, null
//   0x8C  dependent file names                    null
#pragma once
#include <cstddef>
#include <cstdint>
#include "abi/unit_type.h"
#include "abi/values.h"

namespace corelib {

// The library notification routine: (code, value 1, value 2) -> 32-bit result; C calling
// convention.
using LibNotifyRoutine = int32_t(__cdecl*)(int32_t code, uint32_t v1, uint32_t v2);

#pragma pack(push, 1)
struct LibDescriptor {
  uint32_t format;              // 20000101
  const char* signature;        // 32 hexadecimal digits
  int32_t major, minor, build;
  int32_t system_major, system_minor;
  int32_t core_major, core_minor;  // required core library version
  const char* name;
  int32_t language;             // 1 中文(大陆), 2 英文, ...
  const char* description;
  uint32_t state_flags;         // bit 2 set: the library has no run-time code
  const char* author;
  const char* postal_code;
  const char* address;
  const char* telephone;
  const char* fax;
  const char* email;
  const char* home_page;
  const char* other;
  int32_t type_count;
  units::UnitTypeEntry* types;
  int32_t category_count;
  const char* categories;
  int32_t command_info_count;
  const void* command_info;
  runtime::CommandRoutine* commands;
  void* (__cdecl* add_in)(void*);
  const void* add_in_descriptions;
  LibNotifyRoutine notify;
  void* template_routine;
  const void* template_descriptions;
  int32_t constant_count;
  const void* constants;
  const char* dependent_files;
};
#pragma pack(pop)

static_assert(sizeof(LibDescriptor) == 36 * 4);
static_assert(offsetof(LibDescriptor, signature) == 0x04);
static_assert(offsetof(LibDescriptor, major) == 0x08);
static_assert(offsetof(LibDescriptor, build) == 0x10);
static_assert(offsetof(LibDescriptor, system_major) == 0x14);
static_assert(offsetof(LibDescriptor, core_major) == 0x1C);
static_assert(offsetof(LibDescriptor, core_minor) == 0x20);
static_assert(offsetof(LibDescriptor, name) == 0x24);
static_assert(offsetof(LibDescriptor, language) == 0x28);
static_assert(offsetof(LibDescriptor, description) == 0x2C);
static_assert(offsetof(LibDescriptor, state_flags) == 0x30);
static_assert(offsetof(LibDescriptor, author) == 0x34);
static_assert(offsetof(LibDescriptor, other) == 0x50);
static_assert(offsetof(LibDescriptor, type_count) == 0x54);
static_assert(offsetof(LibDescriptor, types) == 0x58);
static_assert(offsetof(LibDescriptor, category_count) == 0x5C);
static_assert(offsetof(LibDescriptor, categories) == 0x60);
static_assert(offsetof(LibDescriptor, command_info_count) == 0x64);
static_assert(offsetof(LibDescriptor, command_info) == 0x68);
static_assert(offsetof(LibDescriptor, commands) == 0x6C);
static_assert(offsetof(LibDescriptor, add_in) == 0x70);
static_assert(offsetof(LibDescriptor, add_in_descriptions) == 0x74);
static_assert(offsetof(LibDescriptor, notify) == 0x78);
static_assert(offsetof(LibDescriptor, template_routine) == 0x7C);
static_assert(offsetof(LibDescriptor, template_descriptions) == 0x80);
static_assert(offsetof(LibDescriptor, constant_count) == 0x84);
static_assert(offsetof(LibDescriptor, constants) == 0x88);
static_assert(offsetof(LibDescriptor, dependent_files) == 0x8C);

inline constexpr uint32_t kDescriptorFormat = 20000101;
inline constexpr int kSlotCount = 658;  // slots of the core library's command routine table

}  // namespace corelib
