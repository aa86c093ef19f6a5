// In-memory module loader: runs a 32-bit PE image held in memory (or a zlib-compressed copy of
// one) as a module: placement, base relocations, imports, entry call, export lookup, detach.
//
// Every read of the image is bounds-checked against the input buffer or the placed image, so a
// damaged or hostile image is refused with its code below and never read or written past its end.
// Imports are bound through LoadLibraryA / GetProcAddress as this program sees them (through the
// module interceptions once they are installed).
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace image {

// Refusal codes of the loader (0 = loaded).
enum MemoryModuleError : uint32_t {
  kMemOk              = 0,
  kMemBadFormat       = 0x80000001,  // a signature, the section count, optional header or size fields
  kMemNotRunnable     = 0x80000005,  // not marked executable, or no usable subsystem
  kMemNoInput         = 0x80000006,  // no image given; also an unknown base relocation type
  kMemDamagedCopy     = 0x80000007,  // a compressed copy that does not inflate to its stated length
  kMemImportModule    = 0x80000012,  // an imported module could not be loaded
  kMemImportFunction  = 0x80000013,  // an imported function was not found
  kMemNoRelocations   = 0x80000020,  // relocation needed but the data is missing or broken
  kMemTruncated       = 0x80000040,  // the image buffer ends before what its headers describe
  kMemNoName          = 0x80000050,  // no module name given
  kMemEntryRefused    = 0x80000060,  // the library's entry refused process attach
  kMemNoMemory        = 0x80000080,  // the image's address range could not be allocated
  kMemDirectoryCount  = 0x80000090,  // the optional header does not hold exactly 16 directories
};

// Load flags.
inline constexpr uint32_t kMemSkipEntry = 1u << 0;       // never call the module's entry (attach or detach)
inline constexpr uint32_t kMemEntryOnThread = 1u << 30;  // run the entry on a new thread

// Loads the image; returns the module (its base address) or null with *error set.
// A library's entry is called for process attach; a program's entry is called without
// arguments (on its own thread with kMemEntryOnThread, which a program normally wants).
HMODULE load_memory_module(const void* data, size_t size, const wchar_t* name, uint32_t flags,
                           uint32_t* error = nullptr);

// Inflates a zlib stream (with its header) of `image_size` bytes, then loads it as above.
HMODULE load_compressed_module(const void* stream, size_t stream_size, size_t image_size,
                               const wchar_t* name, uint32_t flags, uint32_t* error = nullptr);

// True for a module made by load_memory_module and not yet freed.
bool is_memory_module(HMODULE module);

// Export by name (compared without case) or by ordinal (a value up to 0xFFFF); null when absent.
// Forwarded exports are not followed (null).
FARPROC memory_module_export(HMODULE module, const char* name_or_ordinal);

// Process detach (libraries without kMemSkipEntry), then releases the imported modules and the
// module's memory. Returns -1 when the entry answered the detach with 0, else 0.
int free_memory_module(HMODULE module);

// Image size and name of a loaded memory module (0 / null when `module` is not one).
uint32_t memory_module_size(HMODULE module);
const wchar_t* memory_module_name(HMODULE module);

}  // namespace image
