// Probe for the fatal paths of image preparation: loads the mixed test image, damages it as
// the mode on the command line says, and prepares it.
#include <windows.h>
#include <cstring>
#include <string>
#include "abi/format/form_format.h"
#include "abi/format/image_format.h"
#include "image/prepare.h"
#include "image/working_copy.h"
#include "image_files.h"

namespace fmt = image::format;
using testimg::set_word;
using testimg::word;

namespace {

bool accept_library(const char*, uint32_t, bool) { return true; }

fmt::SectionRecord* record(testimg::Loaded& l, const char* name) {
  uint32_t at = testimg::stored_section(l, name);
  return at == fmt::kAbsent ? nullptr : reinterpret_cast<fmt::SectionRecord*>(l.carrier.working_place + at);
}
uint8_t* data_of(testimg::Loaded& l, fmt::SectionRecord* r) { return l.carrier.working_place + r->data_offset; }

// Each mode damages one thing in the stored image.
void damage(testimg::Loaded& l, const std::string& mode) {
  uint8_t* image = l.carrier.image;
  if (mode == "bad-form") {
    set_word(data_of(l, record(l, "form")), 0xFFFFFFF0);  // window list larger than the section
  } else if (mode == "bad-entry") {
    uint8_t* form = data_of(l, record(l, "form"));
    uint32_t at = 4 + word(form);                      // first window record
    at += 8;                                           // owner, module
    at += 4 + word(form + at);                         // name
    at += 4 + word(form + at);                         // comment
    uint32_t n = word(form + at);
    uint8_t* block = form + at + 8;
    set_word(block + 8 * n, 0x7FFFFFFF);               // entry 0's payload length
  } else if (mode == "bad-relocation" || mode == "bad-base") {
    fmt::SectionRecord* code = record(l, "code");
    uint8_t* item = reinterpret_cast<uint8_t*>(code + 1);
    set_word(item, mode == "bad-base" ? (word(item) & ~7u) | 5 : fmt::reloc_item(1, code->memory_size));
  } else if (mode == "section-loop") {
    fmt::SectionRecord* r = record(l, "full");
    r->next = word(image + 0x54) + static_cast<uint32_t>(image - l.carrier.working_place);
  } else if (mode == "startup-outside-code") {
    // Still inside the image, but in the const section's data rather than in code.
    auto* head = reinterpret_cast<fmt::ImageHeader*>(image);
    head->startup = record(l, "const")->data_offset;
  } else if (mode == "short-help") {
    record(l, "help")->memory_size = 8;                // two of the 13 service slots
  } else if (mode == "bad-dll-name") {
    uint32_t n = word(image + 0x38);
    set_word(image + 0x58 + 4 * n, 0x7FFFFFFF);        // function name of DLL command 0
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  testimg::Loaded l = testimg::load("mixed");
  if (!l.carrier.working_place) return 2;
  damage(l, command_line);
  uint8_t* w = image::make_working_copy(l.carrier);
  if (!w) return 4;
  static const void* services[fmt::kServiceSlots] = {};
  image::PrepareEnv env{nullptr, &accept_library, services, nullptr};
  image::prepare_image(w, env);
  return 3;  // prepared although damaged
}
