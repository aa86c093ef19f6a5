// The unit framework, runtime side: unit type lookup, the windows of the template list and
// their units, property reads and writes behind the service entries, and the hooks that
// connect the framework to the runtime object.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "units/templates.h"
#include "abi/unit_type.h"

namespace framework { class Window; }

namespace units {

class Unit;
class WindowUnit;

// Installs the framework's entry points in the runtime object (start-up calls it once).
void install();

// The core library's data type table: fills the 50 entries after the window's (entry 0 is
// the stored one) and completes entry 0's property table and interface function.
// The core library's data type table (51 entries), published by its descriptor.
UnitTypeEntry* core_type_table();
const UnitTypeEntry* core_type_entry(uint32_t number);  // 1-based, null beyond 51

// Unit type entry of a data type code; null when there is none. A pending library is loaded
// first; a library index without any entry raises "无效的支持库指定!".
const UnitTypeEntry* find_type(uint32_t code);
// An operation of a type's interface function, or null.
void* type_operation(const UnitTypeEntry* type, int number);

WindowTemplate* find_window(uint32_t window_id);
// Entry by unit identifier; 0 (or the window's own unit identifier) gives entry 0.
Entry* find_entry(WindowTemplate& w, uint32_t unit_id);
// The live object of an entry (a core unit or a unit of another library) when its system
// window exists, else null; its window handle, or null.
framework::Window* live_object(const Entry& e);
HWND live_handle(const Entry& e);
// The live core unit of an entry, or null.
Unit* live_unit(const Entry& e);
// The entry whose live window is `h` or holds it (walking up through the parents).
Entry* entry_for_handle(WindowTemplate& w, HWND h);
// Where a unit (window identifier, unit identifier) is, from any of its objects.
bool identify_object(void* object, uint32_t& window, uint32_t& unit);
// The window unit of a window record when loaded, else null.
WindowUnit* live_window(WindowTemplate& w);

// Tab pages: the page of a unit inside a tab container (0 separates the pages of its child
// list), or -1 when it sits on none; the container's entry in `tab`.
int tab_page_of(WindowTemplate& w, uint32_t unit, Entry** tab);
// The selected page of a tab container (its window's current selection, else 0).
int selected_page(const Entry& tab);
// Shows the units of the selected page of a tab container and hides the others.
void show_tab_pages(WindowTemplate& w, Entry& tab);

// The system window of the modal window that is up, or null.
HWND modal_window_handle();

// Service entries 4 and 5 (and further services 4 and 5 on a unit object).
uint64_t read_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index);
void write_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index, uint32_t lo,
                    uint32_t hi);

// A unit's system window was destroyed (runtime notification 2000).
void unit_destroyed(uint32_t window, uint32_t unit);

// A cursor from cursor data: fewer than 4 bytes none, 4 bytes a stock cursor number, more a
// cursor file (its first image).
HCURSOR cursor_from_data(const std::string& data);

// Loads a window from its record (steps of window loading); false when it fails. A modal
// load runs the modal loop until the window is gone.
bool load_window(WindowTemplate& w, bool modal, HWND parent);

// Re-creates a unit in place with its current data, events held back.
void recreate_unit(WindowTemplate& w, Entry& e);

}  // namespace units
