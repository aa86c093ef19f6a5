// Where this executable carries its application image: the PE section ".orvimg".
//
// Layout of the section: abi/format/carrier_format.h.
#pragma once
#include <windows.h>
#include <cstdint>
#include "abi/format/carrier_format.h"

namespace image {

struct Carrier {
  uint8_t* working_place = nullptr;  // null: the executable carries no image
  uint8_t* image = nullptr;          // the stored image
  uint32_t image_length = 0;
  uint32_t room = 0;                 // bytes from the working place to the section's end
  bool present = false;              // the section exists (its header may still be bad)
};

// Finds the carrier section of a loaded module; a Carrier without working place when there
// is none (present false) or when its header is not valid (present true).
Carrier find_carrier(HMODULE module);

}  // namespace image
