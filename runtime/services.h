// The 13 service entries that compiled code reaches through its `help` section, the further
// services of slot 12, and the calls the runtime makes into compiled code.
#pragma once
#include <cstdint>
#include "abi/values.h"

namespace runtime {

inline constexpr int kServiceCount = 13;
// The service table, in slot order; image preparation copies it into `help`.
const void* const* service_table();

// What a compiled routine hands back: EAX, EDX and ECX. For event handlers and
// sub-statements ECX is the data type code of the value, 0 when the routine returned none.
struct CompiledResult {
  uint32_t lo;    // EAX
  uint32_t hi;    // EDX
  uint32_t type;  // ECX
};
// The one call into compiled code (every caller in the runtime goes through it). Calls a
// compiled routine with `count` 32-bit stack arguments (args[0] ends up nearest the return
// address; `args` may be null when `count` is 0) and EAX = `eax` (a sub-statement's context
// word, 0 for the other routines). The routine may remove its arguments or not; EBX, ESI,
// EDI and EBP are kept for the caller whatever it does; ECX and EDX are cleared before the
// call, so a routine that leaves ECX alone returned no value.
CompiledResult call_compiled(const void* routine, const uint32_t* args, int count,
                             uint32_t eax = 0);

// The command routine for a selector (slot x 4) of a library; a recorded library is loaded
// first. An unknown library, a selector outside the core table or an empty slot is a
// run-time error.
CommandRoutine resolve_command(uint32_t library, uint32_t selector);

// Further service 0: the next file of a search (see the service table); a new text or null.
char* find_next_file(const char* pattern, uint32_t mask, int32_t any_file, void** handle_word);

}  // namespace runtime
