// A check of AVI clip headers before a clip goes to the platform's animation control: the
// control trusts the sizes in the file, so a clip whose chunks run past their container or
// whose frame size, depth or count is out of reason is refused here.
#pragma once
#include <string>

namespace units {

// The first bytes of an AVI file (at least its header list) and the file's whole size.
bool plausible_avi(const std::string& head, unsigned long long file_size);
// Reads the head of `file` (GBK path) and checks it; false when it cannot be read.
bool plausible_avi_file(const std::string& file);

}  // namespace units
