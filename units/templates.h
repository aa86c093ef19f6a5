// Window templates in memory: the windows of an image's `form` section with their entries,
// read from the stored form, handler offsets turned into addresses, identifiers renumbered
// for later images. Stored layout: abi/format/form_format.h.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace units {

struct Binding {
  int32_t event;                 // event number (negative: common events)
  uint32_t handler;              // address of the compiled handler; 0 = none
};

// One entry of a window template: the window's own unit (entry 0), a unit or a menu item.
struct Entry {
  uint32_t id = 0;               // unit identifier
  uint32_t type = 0;             // unit type code; library part shifted for later images
  uint32_t event_source = 0;     // 0, or a unit of the same type whose bindings this one uses
  uint32_t reserved[4] = {};
  std::string name, comment;     // GBK
  void* live_object = nullptr;   // the created unit while the window is loaded
  int32_t left = 0, top = 0, width = 0, height = 0;
  void* live_cursor = nullptr;   // cursor made from `cursor` while the window is loaded
  uint32_t parent = 0;           // containing unit, 0 = the window
  std::vector<uint32_t> children;  // contained units; for a tab unit 0 separates the pages
  std::string cursor;            // cursor data: < 4 bytes, a stock cursor number, or a file
  std::string tag;               // GBK; a menu item's caption
  uint32_t reserved2 = 0;
  uint32_t flags = 0;            // units: bit 0 visible, 1 disabled, 2 tab stop;
                                 // menu items: bit 0 hidden, 1 disabled, 2 checked, 3 builder
  uint32_t tab_order = 0;
  std::vector<Binding> bindings; // a menu item: its single handler as event 0
  uint32_t tail[5] = {};
  std::string data;              // the unit type's own data (a menu item: the builder's fields)
  bool menu_item = false;        // identifier kind 2
};

struct WindowTemplate {
  uint32_t id = 0;               // window identifier
  uint32_t owner = 0;            // carried, not interpreted
  uint32_t module = 0;           // module identifier, carried
  std::string name, comment;     // GBK
  std::vector<Entry> entries;    // entry 0 is the window's own unit
};

using Templates = std::vector<std::unique_ptr<WindowTemplate>>;
using IdPairs = std::vector<std::pair<uint32_t, uint32_t>>;  // old identifier, new identifier

// Reads every template of a stored form section (`size` bytes); false when anything is
// malformed or runs past the end. Handlers stay stored offsets (-1 none) until relocated.
bool read_templates(const uint8_t* form, uint32_t size, Templates& out);

// Turns every stored handler offset into code + offset (-1 becomes 0, none), and adds
// `libraries_before` to the library part of every unit type code above the core library's.
void relocate_templates(Templates& templates, uintptr_t code, uint32_t libraries_before);

// Gives every window and unit identifier of `templates` a fresh serial (`serial` is the next
// one and moves on), rewriting identifier lists, child lists, parents and event sources;
// event sources without a new identifier become 0. Returns the old/new pairs.
IdPairs renumber_templates(Templates& templates, uint32_t& serial);

// The new identifier of `id`, or `fallback` when the pairs do not name it.
uint32_t mapped_id(const IdPairs& pairs, uint32_t id, uint32_t fallback);

}  // namespace units
