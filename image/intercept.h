// In-process module interception for the program's own module: requests to load the core
// library file yield the program itself, and GetProcAddress on it answers the two runtime
// entry names. Also GetNewSock, the runtime entry lookup, and the instance release entry.
#pragma once
#include <windows.h>
#include <cstdint>

namespace image {

// File name of the core support library, as programs and libraries name it.
inline constexpr char kCoreLibraryFile[] = "tolva.vlr";

// Writes `address` into a module's import slot of `function` imported from `dll` (names of
// DLLs compared without case, functions with case; imports by ordinal skipped). Returns the
// previous address, or null when not imported or the write failed (the slot is unchanged).
void* patch_import(HMODULE module, const char* dll, const char* function, void* address);
// Stores `address` in a 4-byte import slot under relaxed protection; returns the old value.
void* swap_import_slot(void** slot, void* address);
// Swaps the program's own import slots of FreeLibrary, GetProcAddress and LoadLibraryA for
// the intercepted routines, keeping the previous addresses. Done once.
void install_interceptions(HMODULE main_module);

// The compressed copy of the COM bridge module a program may carry (none by default): a zlib
// stream of `stored` bytes that inflates to `length` bytes. Loading "objbridge.vsx" then
// yields a module made from it in memory (load flags 0).
void set_bridge_copy(const void* stream, uint32_t stored, uint32_t length);
// That in-memory bridge module while it is loaded, else null.
HMODULE memory_bridge();

// The intercepted routines.
HMODULE WINAPI intercepted_load_library(const char* path);
BOOL WINAPI intercepted_free_library(HMODULE module);
FARPROC WINAPI intercepted_get_proc_address(HMODULE module, const char* name);

// GetNewSock(code) -> EAX routine, and EDX the instance number for codes 1001 and 1003
// (1003 also records the caller's EBX with it). Removes its argument.
extern "C" void* __stdcall get_new_sock(int32_t code) asm("orvel_get_new_sock");
// The instance release entry (GetNewSock 1002): forgets instance `n` (-1: none) and its
// constant range; the last image released shuts the runtime down with exit code 0.
void __stdcall release_instance(int32_t n);

}  // namespace image
