// Builds an application image from an assembled program and its description, and wraps it
// in the carrier layout of the ".orvimg" section.
#pragma once
#include <cstdint>
#include "bytes.h"
#include "coff.h"
#include "description.h"

namespace vlink {

// The whole content of the carrier section: carrier header, working place, stored image.
Bytes build_carrier(const CoffObject& object, const Description& description, uint32_t stamp);

}  // namespace vlink
