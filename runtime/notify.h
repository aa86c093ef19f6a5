// The runtime notification routine: how support libraries and units call the runtime.
#pragma once
#include <cstdint>

namespace runtime {

// (code, value 1, value 2) -> 64-bit result in EDX:EAX; C calling convention. Codes not
// known answer 0.
using NotifyRoutine = int64_t(__cdecl*)(int32_t code, uint32_t v1, uint32_t v2);
int64_t __cdecl notify(int32_t code, uint32_t v1, uint32_t v2);

// Processes the window messages already waiting (codes 2009, 2010, 2018).
void process_pending_messages();

}  // namespace runtime
