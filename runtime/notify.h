// The runtime notification routine: how support libraries and units call the runtime.
#pragma once
#include <cstdint>
#include "abi/notify.h"

namespace runtime {

int64_t __cdecl notify(int32_t code, uint32_t v1, uint32_t v2);

// Processes the window messages already waiting (codes 2009, 2010, 2018).
void process_pending_messages();

}  // namespace runtime
