// The runtime executable as a container: appending the ".orvimg" carrier section to a copy of
// it, and finding the carrier again in an executable or a raw carrier file.
#pragma once
#include "bytes.h"

namespace vlink {

// A copy of `exe` with `carrier` as a new last section; refuses an executable that already
// has one, or whose header has no room for another section record.
Bytes insert_carrier(const Bytes& exe, const Bytes& carrier);
// The carrier section content of an executable, or the file itself when it is a raw carrier.
Bytes extract_carrier(const Bytes& file);

}  // namespace vlink
