// OLE on the program's main thread: initialised when the subsystems are installed, released
// last at shutdown, after everything that may still hold an object.
#pragma once

namespace com {

void install();

}  // namespace com
