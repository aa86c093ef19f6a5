// The runtime object: the one process-wide owner of the prepared images, library and DLL
// command tables, window templates, heap and the hidden runtime window, until shutdown.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "framework/app.h"
#include "abi/values.h"

namespace corelib { struct LibDescriptor; }
namespace units { struct WindowTemplate; struct UnitTypeEntry; }

namespace runtime {

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

struct IdleRoutine {          // registered through runtime notification 1012
  HWND window;
  void(__cdecl* routine)(uint32_t);
  uint32_t argument;
};

// An object a library registered for closing at shutdown (runtime notifications 2011-2014).
struct RegisteredObject {
  virtual ~RegisteredObject() = default;
  virtual void close() = 0;
};

struct IconEntry {            // kept for libraries (runtime notifications 2019-2021)
  HICON icon;
  void* data;                 // runtime heap block, or null
};

// The service hooks of the unit framework. Each is null until the unit framework installs
// it; the runtime then answers as it must when no window is loaded.
struct UnitHooks {
  uint64_t (*read_property)(uint32_t window, uint32_t unit, int32_t prop, int32_t index) = nullptr;
  void (*write_property)(uint32_t window, uint32_t unit, int32_t prop, int32_t index,
                         uint32_t lo, uint32_t hi) = nullptr;
  uint64_t (*read_object_property)(uint32_t type, void* object, int32_t prop,
                                   int32_t index) = nullptr;
  void (*write_object_property)(uint32_t type, void* object, int32_t prop, int32_t index,
                                uint32_t lo, uint32_t hi) = nullptr;
  bool (*load_startup_window)(uint32_t window) = nullptr;   // false: "载入启动窗口失败"
  bool (*any_window_exists)() = nullptr;                    // the message loop runs only then
  bool (*modal_active)() = nullptr;                         // a modal loop runs while true
  void (*unload_all)() = nullptr;                           // shutdown
  // Idle event for every loaded window not in `finished`; adds the windows that want no
  // more; returns whether any wants more.
  bool (*window_idle)(DWORD elapsed_ms, std::vector<HWND>& finished) = nullptr;
};

// The one-shot module override of DLL command resolution (set by a core command).
struct ModuleOverride {
  HMODULE module = nullptr;   // null: not set
  std::string function;       // empty: the DLL command's own function name
};

struct Runtime : framework::App {
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
  HWND hidden_window = nullptr;
  DWORD main_thread = 0;
  HANDLE heap = nullptr;
  HMODULE main_module = nullptr;    // the program's own module
  HICON icons[2] = {};              // large and small program icon, loaded once

  std::vector<ConstRange> const_ranges;   // in step with `instances`
  std::vector<int> instances;
  std::vector<std::pair<int, uint32_t>> runtime_instances;  // GetNewSock 1003 records
  std::vector<void*> blocks;              // `var` blocks and zero-extended sections
  std::vector<LibrarySlot> libraries;
  std::vector<runtime::CommandRoutine*> command_tables;  // published per-library tables
  std::vector<DllCommand> dll_commands;
  std::vector<std::string> component_texts, registered_files;  // components registered at run time
  std::vector<units::WindowTemplate*> templates;
  std::vector<IdleRoutine> idle_routines;
  std::vector<std::pair<RegisteredObject*, uint8_t>> registered_objects;
  std::vector<IconEntry*> icon_entries;

  int event_hold = 0;               // while > 0 no event handler runs
  bool shutting_down = false;
  bool loop_running = false;        // the start-up routine entered the message loop
  void* finalise_routine = nullptr;
  void* error_handler = nullptr;
  bool sockets_started = false;
  uint32_t event_window = 0;        // source of the event whose handler runs (0: none)
  uint32_t event_unit = 0;
  ModuleOverride module_override;
  std::string dll_directory;        // DLL directory override, ends in "\"; empty: none

  UnitHooks units;

  // Framework attach and detach (program main): records the module directory and the
  // database add-on path; detach runs shutdown with code 0.
  void init_instance();
  void exit_instance();

  // Internal entries of the core commands that set these (no command table lists them):
  // `function` may be null (use the DLL command's own name); `directory` null or empty
  // removes the override, otherwise a trailing "\" is added when missing; `routine` null
  // removes the error handler routine.
  void set_module_override(HMODULE module, const char* function);
  void set_dll_directory(const char* directory);
  void set_error_handler(void* routine);

 protected:
  bool on_idle(long count) override;
  void run_idle_routines() override;
  bool modal_active() override;

 private:
  DWORD idle_start_ = 0;
  bool framework_idle_ = true;
  std::vector<HWND> idle_finished_;
};

Runtime& rt();  // the runtime object

// The descriptor of support library `library` (0-based), loading a recorded library first;
// null when there is no such library.
corelib::LibDescriptor* library_descriptor(uint32_t library);
// The unit type entry of a library data type code, or null for other codes and numbers
// beyond the library's type table.
const units::UnitTypeEntry* library_type_entry(uint32_t type);

}  // namespace runtime
