// OLE on the program's main thread and the object subsystem's plug-in: initialised when the
// subsystems are installed (with the release request of object values), released
// last at shutdown, after everything that may still hold an object.
#pragma once

namespace com {

void install();

}  // namespace com
