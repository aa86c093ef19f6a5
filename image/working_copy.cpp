// Header working copy and library list descrambling; the extents of the images taken in.
#include "image/working_copy.h"
#include <cstring>
#include <vector>
#include "abi/format/image_format.h"

namespace image {

namespace fmt = image::format;

namespace {

std::vector<ImageExtent>& extents() {
  static std::vector<ImageExtent> list;
  return list;
}

uint32_t word(const uint8_t* p, uint32_t at) {
  uint32_t v;
  std::memcpy(&v, p + at, 4);
  return v;
}

void set_word(uint8_t* p, uint32_t at, uint32_t v) { std::memcpy(p + at, &v, 4); }

}  // namespace

Carrier carrier_at(uint8_t* section, uint32_t size) {
  if (!section || size < kWorkingPlaceOffset) return {};
  CarrierHeader head;
  std::memcpy(&head, section, sizeof head);
  if (head.magic != kCarrierMagic || head.version != kCarrierVersion) return {};
  uint32_t room = size - kWorkingPlaceOffset;
  if (head.image_offset > room || head.image_length > room - head.image_offset) return {};
  Carrier c;
  c.working_place = section + kWorkingPlaceOffset;
  c.image = c.working_place + head.image_offset;
  c.image_length = head.image_length;
  c.room = room;
  return c;
}

uint8_t* make_working_copy(const Carrier& c) {
  if (!c.working_place || c.image_length < fmt::kHeaderFixedSize) return nullptr;
  uint8_t* w = c.working_place;
  uint32_t image_offset = static_cast<uint32_t>(c.image - w);
  uint32_t length = word(c.image, offsetof(fmt::ImageHeader, first_section));
  if (length < fmt::kHeaderFixedSize || length > c.image_length || length > image_offset) return nullptr;

  DWORD old;
  if (VirtualProtect(w, image_offset + fmt::kHeaderFixedSize, PAGE_EXECUTE_READWRITE, &old)) {
    set_word(c.image, offsetof(fmt::ImageHeader, first_section), length + image_offset);
    std::memcpy(w, c.image, length);
    uint32_t n = word(w, offsetof(fmt::ImageHeader, dll_count));
    uint64_t list = fmt::library_list_offset(0) + 8ull * n;
    uint32_t key = word(w, offsetof(fmt::ImageHeader, build_stamp));
    for (uint64_t at = list; at + 4 <= length; at += 4)
      set_word(w, static_cast<uint32_t>(at), word(w, static_cast<uint32_t>(at)) ^ key);
  }
  for (ImageExtent& e : extents())
    if (e.working_copy == w) {
      e = {w, c.room, length};
      return w;
    }
  extents().push_back({w, c.room, length});
  return w;
}

const ImageExtent* image_extent(const uint8_t* working_copy) {
  for (const ImageExtent& e : extents())
    if (e.working_copy == working_copy) return &e;
  return nullptr;
}

}  // namespace image
