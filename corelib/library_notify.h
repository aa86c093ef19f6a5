// The runtime notification routine as the core library keeps it (library notification 1).
#pragma once
#include "runtime/notify.h"

namespace corelib {

// The routine stored by library notification code 1, or null before it.
runtime::NotifyRoutine runtime_notify();

}  // namespace corelib
