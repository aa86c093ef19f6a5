// Shutdown in its fixed order; every step tests for presence first, so a second run (the
// framework detach after the exit service) releases nothing twice.
#include "image/shutdown.h"
#include "abi/descriptor.h"
#include "image/components.h"
#include "runtime/runtime.h"
#include "image/startup.h"
#include "runtime/heap.h"
#include "runtime/registry.h"
#include "runtime/services.h"

namespace image {

namespace {

void release_windows_and_routines(runtime::Runtime& r) {
  r.idle_routines.clear();
  runtime::run_cleanup(runtime::CleanupStage::kBeforeWindows);
  if (r.units.unload_all) r.units.unload_all();
}

void run_finalisation(runtime::Runtime& r) {
  void* routine = r.finalise_routine;
  if (!routine) return;
  r.finalise_routine = nullptr;  // cleared first: it runs once even if it exits itself
  runtime::call_compiled(routine, nullptr, 0);
}

void release_libraries(runtime::Runtime& r) {
  for (runtime::LibrarySlot& lib : r.libraries)
    if (lib.descriptor && lib.descriptor->notify) lib.descriptor->notify(6, lib.data, 0);
  for (runtime::LibrarySlot& lib : r.libraries)
    if (lib.module && lib.module != r.main_module) FreeLibrary(lib.module);
  r.libraries.clear();
  r.command_tables.clear();
}

void release_dll_commands(runtime::Runtime& r) {
  for (runtime::DllCommand& c : r.dll_commands)
    if (c.module) FreeLibrary(c.module);
  r.dll_commands.clear();
  r.module_override = {};
}

void release_addons(runtime::Runtime& r) {
  for (HMODULE& m : r.addon_modules) {
    if (m) FreeLibrary(m);
    m = nullptr;
  }
  for (std::string& p : r.addon_paths) p.clear();
}

void release_memory(runtime::Runtime& r) {
  r.program_dir.clear();
  r.program_file.clear();
  r.module_dir.clear();
  r.const_ranges.clear();
  r.instances.clear();
  std::vector<void*> blocks;
  blocks.swap(r.blocks);
  for (void* b : blocks) HeapFree(r.heap ? r.heap : GetProcessHeap(), 0, b);
}

void release_icons_and_window(runtime::Runtime& r) {
  for (HICON& i : r.icons) {
    if (i) DestroyIcon(i);
    i = nullptr;
  }
  destroy_hidden_window();
}

void close_registered_objects(runtime::Runtime& r) {
  auto objects = std::move(r.registered_objects);
  r.registered_objects.clear();
  for (auto& [object, flag] : objects) {
    try { object->close(); } catch (...) {}
    try { delete object; } catch (...) {}
  }
}

void release_icon_entries(runtime::Runtime& r) {
  auto entries = std::move(r.icon_entries);
  r.icon_entries.clear();
  for (runtime::IconEntry* e : entries) {
    if (e->icon) DestroyIcon(e->icon);
    runtime::free_block(e->data);
    runtime::free_block(e);
  }
}

void release_components(runtime::Runtime& r) {
  unregister_components();  // those registered at run time for bridge entries
  r.component_texts.clear();
  r.registered_files.clear();
}

}  // namespace

void shutdown(int code) {
  runtime::Runtime& r = runtime::rt();
  ++r.event_hold;
  if (r.main_thread && GetCurrentThreadId() != r.main_thread) {
    if (r.hidden_window) SendMessageA(r.hidden_window, kExitRequest, static_cast<WPARAM>(code), 0);
    ExitThread(static_cast<DWORD>(code));
  }
  r.shutting_down = true;
  release_windows_and_routines(r);
  run_finalisation(r);
  release_libraries(r);
  release_dll_commands(r);
  release_addons(r);
  release_memory(r);
  release_icons_and_window(r);
  close_registered_objects(r);
  release_icon_entries(r);
  runtime::run_cleanup(runtime::CleanupStage::kCommunication);
  r.sockets_started = false;
  release_components(r);
  runtime::run_cleanup(runtime::CleanupStage::kLast);
}

void exit_program(int code) {
  shutdown(code);
  return_to_frame(code);
}

}  // namespace image
