// Layout of the ".orvimg" section that carries the application image in the executable.
// Shared by the image linker (host) and the runtime (i686): fixed-width fields only.
//
// OFFSET  SIZE  DESCRIPTION
//   0x00     4  magic "OVIM" (0x4D49564F)
//   0x04     4  layout version, 1
//   0x08     4  image offset: distance from the working place to the stored image header
//   0x0C     4  image length in bytes
//   0x10  0x30  zero
//   0x40     -  working place: the header's working copy is built here (zero in the file);
//               every offset inside the image counts from this byte
//   0x40 + image offset: the stored image (header, section records, section data)
//
// The section is readable, writable and executable: the image's code runs in place.
#pragma once
#include <cstdint>

namespace image {

inline constexpr char kCarrierSection[8] = ".orvimg";
inline constexpr uint32_t kCarrierMagic = 0x4D49564F;  // "OVIM"
inline constexpr uint32_t kCarrierVersion = 1;
inline constexpr uint32_t kWorkingPlaceOffset = 0x40;

struct CarrierHeader {
  uint32_t magic;
  uint32_t version;
  uint32_t image_offset;  // from the working place to the stored image
  uint32_t image_length;
  uint32_t zero[12];
};
static_assert(sizeof(CarrierHeader) == kWorkingPlaceOffset);

}  // namespace image
