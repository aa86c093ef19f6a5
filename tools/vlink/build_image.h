// Builds an application image from a program's objects and its description, and wraps it in
// the carrier layout of the ".orvimg" section.
#pragma once
#include <cstdint>
#include <vector>
#include "bytes.h"
#include "coff.h"
#include "description.h"

namespace vlink {

// The whole content of the carrier section: carrier header, working place, stored image.
Bytes build_carrier(const std::vector<CoffObject>& objects, const Description& description, uint32_t stamp);

}  // namespace vlink
