// The header's working copy: built at the carrier's working place before preparation, with
// the library list descrambled; and the extent of every image taken in this way.
#pragma once
#include <cstdint>
#include "image/carrier.h"

namespace image {

// A carrier section already in memory (the executable's own, or a copy made by a test).
// Empty when the carrier header is not valid or its image does not fit the section.
Carrier carrier_at(uint8_t* section, uint32_t size);

// Makes the working copy: converts the image's first-section word from the header length to an
// offset from the working place, copies the header there and undoes the library list's
// scrambling. Returns the working copy (the carrier's working place), or null when the stored
// header length does not fit the image or the working place. A working place that cannot be
// made writable is left as it is, without a report.
uint8_t* make_working_copy(const Carrier& carrier);

// What preparation may touch of an image whose working copy was made here.
struct ImageExtent {
  const uint8_t* working_copy;
  uint32_t size;           // bytes from the working copy to the end of the carrier section
  uint32_t header_length;  // L
};
// The extent recorded for a working copy, or null for an image that came another way.
const ImageExtent* image_extent(const uint8_t* working_copy);

}  // namespace image
