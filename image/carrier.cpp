// Locates the application image in the executable's own PE section table.
#include "image/carrier.h"
#include <cstring>

namespace image {

Carrier find_carrier(HMODULE module) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE) return {};
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return {};
  IMAGE_SECTION_HEADER* sec = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++sec) {
    if (std::memcmp(sec->Name, kCarrierSection, sizeof kCarrierSection) != 0) continue;
    Carrier c;
    c.present = true;
    uint32_t size = sec->Misc.VirtualSize;
    if (size < kWorkingPlaceOffset) return c;
    auto* head = reinterpret_cast<CarrierHeader*>(base + sec->VirtualAddress);
    if (head->magic != kCarrierMagic || head->version != kCarrierVersion) return c;
    uint32_t room = size - kWorkingPlaceOffset;
    if (head->image_offset > room || head->image_length > room - head->image_offset) return c;
    c.working_place = base + sec->VirtualAddress + kWorkingPlaceOffset;
    c.image = c.working_place + head->image_offset;
    c.image_length = head->image_length;
    c.room = room;
    return c;
  }
  return {};
}

}  // namespace image
