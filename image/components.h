// Components registered with the system at run time for bridge entries: OCX controls (their
// own self-registration) and type libraries, kept in the runtime's lists and undone at shutdown.
#pragma once
#include <string>

namespace image {

// Registers (or unregisters) the component named by `text` ("{identifier}", then
// "#major.minor" for a type library, then "#locale") found in file `file`. Nothing happens,
// with false, in run mode 2 or for an empty file name. A component registered here is added
// to the runtime-registered lists.
bool register_component(const std::string& text, const std::string& file, bool do_register);

// Unregisters every component in the runtime-registered lists and empties them (shutdown).
void unregister_components();

}  // namespace image
