// Test images in memory: a carrier file linked at build time, copied into executable memory,
// with its header working copy made; and small helpers to look inside a stored image.
#pragma once
#include <cstdint>
#include <string>
#include "image/carrier.h"

namespace testimg {

struct Loaded {
  uint8_t* section = nullptr;  // the carrier section's copy (readable, writable, executable)
  uint32_t size = 0;
  image::Carrier carrier;
};

// Reads tests/bin/images/<name>.carrier into fresh executable memory (never released).
Loaded load(const std::string& name);
// The stored image's section record named `name` (offset from the working place), or -1.
uint32_t stored_section(const Loaded& l, const char* name);
uint32_t word(const void* p);
void set_word(void* p, uint32_t v);

}  // namespace testimg
