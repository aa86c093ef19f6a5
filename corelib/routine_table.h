// The core library's command routine table: 658 slots, a command's selector is slot x 4.
#pragma once
#include <array>
#include "abi/descriptor.h"

namespace corelib {

using RoutineTable = std::array<runtime::CommandRoutine, kSlotCount>;

// The table the descriptor publishes (field 28); empty slots are null.
extern const RoutineTable kRoutineTable;
inline const runtime::CommandRoutine* routine_table() { return kRoutineTable.data(); }

// Slots that hold no routine (compiled code never calls them).
bool is_empty_slot(int slot);

}  // namespace corelib
