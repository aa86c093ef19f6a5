// Loading of test images into executable memory, and look-ups in a stored image.
#include "image_files.h"
#include <windows.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>
#include "abi/format/image_format.h"
#include "image/working_copy.h"
#include "kit.h"

namespace testimg {

namespace fmt = image::format;

uint32_t word(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void set_word(void* p, uint32_t v) { std::memcpy(p, &v, 4); }

Loaded load(const std::string& name) {
  std::ifstream in(kit::bin_dir() + "images\\" + name + ".carrier", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Loaded l;
  if (bytes.empty()) return l;
  l.size = static_cast<uint32_t>(bytes.size());
  l.section = static_cast<uint8_t*>(VirtualAlloc(nullptr, l.size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  std::memcpy(l.section, bytes.data(), l.size);
  l.carrier = image::carrier_at(l.section, l.size);
  return l;
}

uint32_t stored_section(const Loaded& l, const char* name) {
  const uint8_t* w = l.carrier.working_place;
  uint32_t at = word(l.carrier.image + offsetof(fmt::ImageHeader, first_section));
  at += static_cast<uint32_t>(l.carrier.image - w);  // stored: the header length
  for (int guard = 0; at != fmt::kAbsent && guard < 64; ++guard) {
    auto* r = reinterpret_cast<const fmt::SectionRecord*>(w + at);
    if (std::strncmp(r->name, name, sizeof r->name) == 0) return at;
    at = r->next;
  }
  return fmt::kAbsent;
}

}  // namespace testimg
