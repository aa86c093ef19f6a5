// Image preparation: turns a header working copy into a runnable program (service table,
// relocation, global variables, constant range, DLL command tables, libraries, window
// templates, renumbering for later images) and yields its start-up routine.
#pragma once
#include <cstdint>
#include <vector>
#include "units/templates.h"

namespace image {

// Asks a unit's library to rewrite identifiers kept inside the unit's own data (for unit
// types whose flags carry 0x2000000); installed by the unit framework, may be null.
using UnitIdRewriter = void (*)(units::WindowTemplate& window, units::Entry& entry,
                                const units::IdPairs& pairs);

// What preparation calls outside itself.
struct PrepareEnv {
  void (*program_setup)();          // program-wide set-up, first image only
  // Loads or records library list entry `entry` as library `number`; false stops preparation
  // (the loader has reported the run-time error).
  bool (*load_library)(const char* entry, uint32_t number, bool on_demand);
  const void* const* service_table; // the 13 service entries
  UnitIdRewriter rewrite_unit_ids;  // may be null
};

// Prepares the image of working copy `w`; returns the address of its start-up routine, or null
// when a library was refused. A corrupt image is a run-time error, as are unreadable window
// templates ("载入窗口模板数据段出错!").
void* prepare_image(uint8_t* w, const PrepareEnv& env);

// prepare_image with the runtime's own set-up, library loader and service table.
void* prepare(uint8_t* working_copy);
void set_unit_id_rewriter(UnitIdRewriter rewriter);

// What preparation established for each image, in preparation order.
struct PreparedImage {
  uint8_t* working_copy;
  uint32_t bases[4];                // help, const, var, code; 0 for an absent section
  const uint8_t* id_tables;         // @reloc1 data, or null
  uint32_t id_tables_size;          // its stored size
  uint64_t extent;                  // bytes from the working copy that the image spans
};
const std::vector<PreparedImage>& prepared_images();
// The offset from its working copy of an address inside a prepared image.
bool offset_in_image(const void* address, uint32_t* offset);

}  // namespace image
