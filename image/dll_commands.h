// DLL commands: resolving the native function behind a DLL command index (service slot 1).
#pragma once
#include <windows.h>
#include <cstdint>

namespace image {

// The address of DLL command `index`: the one-shot module override first, then the address
// already known, else the module is found (system libraries for an empty file name; the DLL
// directory override, the program directory and the module directory for a name without
// ":"; then the system's own search) and the function looked up. Failure is a run-time error.
void* resolve_dll_command(uint32_t index);

// The ordinal named by "#" + decimal digits (low 16 bits), or 0 when the name is not one.
uint32_t ordinal_of(const char* function);

}  // namespace image
