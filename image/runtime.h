// The runtime object: the one process-wide owner of the prepared images, library and DLL
// command tables, window templates, heap and the hidden runtime window, until shutdown.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "runtime/values.h"

namespace corelib { struct LibDescriptor; }
namespace units { struct WindowTemplate; }

namespace image {

struct ConstRange {           // a loaded image's `const` data; empty when it has none
  const uint8_t* begin;
  const uint8_t* end;
};

struct DllCommand {           // one entry of the four DLL command tables
  HMODULE module;             // set once resolved; released at shutdown
  void* address;              // resolved function, or null
  const char* file;           // DLL file name in `const` data ("" = system libraries)
  const char* function;       // export name, or "#" + ordinal
};

struct LibrarySlot {          // library tables, indexed by library number (0 = core)
  HMODULE module = nullptr;
  uint32_t data = 0;          // per-library data word (set by a bridge module)
  corelib::LibDescriptor* descriptor = nullptr;
  runtime::CommandRoutine* commands = nullptr;  // descriptor +0x6C
  std::string pending;        // entry text while recorded but not loaded
};

struct IdleRoutine {
  HWND window;
  void(__cdecl* routine)(uint32_t);
  uint32_t argument;
};

struct Runtime {
  int images_loaded = 0;
  int instance_counter = 0;
  uint32_t run_mode = 0;
  uint32_t flags = 0;
  uint32_t serial_counter = 0;      // next serial for window and unit identifiers
  std::string program_dir;          // no trailing "\"
  std::string program_file;         // no directory
  std::string module_dir;           // with trailing "\"
  std::string addon_paths[3];       // audiodec.vsx, sqlbridge.vsx, objscope.vsx
  HMODULE addon_modules[3] = {};
  bool ole_initialised = false;
  HWND hidden_window = nullptr;
  DWORD main_thread = 0;
  HANDLE heap = nullptr;

  std::vector<ConstRange> const_ranges;   // in step with `instances`
  std::vector<int> instances;
  std::vector<void*> blocks;              // `var` blocks and zero-extended sections
  std::vector<LibrarySlot> libraries;
  std::vector<runtime::CommandRoutine*> command_tables;  // published per-library tables
  std::vector<DllCommand> dll_commands;
  std::vector<std::string> registered_specs, registered_files;  // runtime-registered components
  std::vector<units::WindowTemplate*> templates;
  std::vector<IdleRoutine> idle_routines;

  int event_hold = 0;               // while > 0 no event handler runs
  bool shutting_down = false;
  void* finalise_routine = nullptr;
  void* error_handler = nullptr;
  bool sockets_started = false;
};

Runtime& rt();  // the runtime object

}  // namespace image
