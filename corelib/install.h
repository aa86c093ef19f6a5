// What the core library plugs into the subsystems below it when the program starts.
#pragma once

namespace corelib {

void install();

}  // namespace corelib
