// The service entries with plain C-convention contracts, the further services, the service
// table, and command resolution for the command call entries.
#include "runtime/services.h"
#include <windows.h>
#include <cstring>
#include "abi/descriptor.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"

// Entries written in assembly (services_entries.S).
extern "C" void orvel_svc_call_dll() asm("orvel_svc_call_dll");
extern "C" void orvel_svc_call_library() asm("orvel_svc_call_library");
extern "C" void orvel_svc_call_core() asm("orvel_svc_call_core");
extern "C" void orvel_svc_further() asm("orvel_svc_further");
extern "C" void orvel_call_compiled(runtime::CompiledResult* out, const void* routine,
                                    const uint32_t* args, int count, uint32_t eax)
    asm("orvel_call_compiled");

namespace runtime {

namespace {

// Slot 0: [esp+4] error code. Does not return.
void __cdecl svc_report_error(int32_t code) { raise_coded(code); }

// Slot 4: [esp+4] window, [esp+8] unit, [esp+12] property, [esp+16] element index
//         -> EAX low word, EDX high word.
uint64_t __cdecl svc_read_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index) {
  auto fn = rt().units.read_property;
  if (!fn) raise_error("未载入欲访问窗口组件所在的窗口", 0);
  return guarded([&] { return fn(window, unit, prop, index); });
}

// Slot 5: window, unit, property, element index, value low word, value high word.
void __cdecl svc_write_property(uint32_t window, uint32_t unit, int32_t prop, int32_t index,
                                uint32_t lo, uint32_t hi) {
  auto fn = rt().units.write_property;
  if (!fn) raise_error("未载入欲访问窗口组件所在的窗口", 0);
  guarded([&] { fn(window, unit, prop, index, lo, hi); });
}

// Slots 6, 7, 8: the runtime heap. EAX block.
void* __cdecl svc_allocate(uint32_t size) { return allocate(size); }
void* __cdecl svc_resize(void* block, uint32_t size) { return resize(block, size); }
void __cdecl svc_free(void* block) { free_block(block); }

// Slot 9: [esp+4] exit code. Does not return.
void __cdecl svc_exit(int32_t code) { exit_program(code); }

// Slot 10: [esp+4] ignored. Runs the main loop while a loaded window exists.
void __cdecl svc_run_loop(uint32_t) {
  runtime::Runtime& r = rt();
  r.loop_running = true;
  guarded([&] {
    if (r.units.any_window_exists && r.units.any_window_exists())
      r.run_loop(framework::App::kMainLoop);
  });
}

// Slot 11: [esp+4] window identifier.
void __cdecl svc_load_startup_window(uint32_t window) {
  auto fn = rt().units.load_startup_window;
  if (!fn || !guarded([&] { return fn(window); })) raise_error("载入启动窗口失败", 0);
}

// Further services (slot 12 jumps here with the caller's stack).
char* __cdecl further_find_next(const char* pattern, uint32_t mask, int32_t any, void** handle) {
  return find_next_file(pattern, mask, any, handle);
}
void __cdecl further_end_search(void* handle) {
  if (handle && handle != INVALID_HANDLE_VALUE) FindClose(handle);
}
void __cdecl further_make_writable(uint32_t element_size, void** variable) {
  make_array_writable(element_size, variable);
}
void __cdecl further_set_finalise(void* routine) { rt().finalise_routine = routine; }
uint64_t __cdecl further_read_object(uint32_t type, void* object, int32_t prop, int32_t index) {
  auto fn = rt().units.read_object_property;
  if (!fn) raise_error("未载入欲访问窗口组件所在的窗口", 0);
  return guarded([&] { return fn(type, object, prop, index); });
}
void __cdecl further_write_object(uint32_t type, void* object, int32_t prop, int32_t index,
                                  uint32_t lo, uint32_t hi) {
  auto fn = rt().units.write_object_property;
  if (!fn) raise_error("未载入欲访问窗口组件所在的窗口", 0);
  guarded([&] { fn(type, object, prop, index, lo, hi); });
}

const void* const kServiceTable[kServiceCount] = {
    reinterpret_cast<const void*>(&svc_report_error),
    reinterpret_cast<const void*>(&orvel_svc_call_dll),
    reinterpret_cast<const void*>(&orvel_svc_call_library),
    reinterpret_cast<const void*>(&orvel_svc_call_core),
    reinterpret_cast<const void*>(&svc_read_property),
    reinterpret_cast<const void*>(&svc_write_property),
    reinterpret_cast<const void*>(&svc_allocate),
    reinterpret_cast<const void*>(&svc_resize),
    reinterpret_cast<const void*>(&svc_free),
    reinterpret_cast<const void*>(&svc_exit),
    reinterpret_cast<const void*>(&svc_run_loop),
    reinterpret_cast<const void*>(&svc_load_startup_window),
    reinterpret_cast<const void*>(&orvel_svc_further),
};

bool attributes_match(DWORD attributes, uint32_t mask, bool any_file) {
  if (any_file) return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  uint32_t m = mask & 0x37;
  if (m) return (attributes & m) != 0;
  return (attributes & ~FILE_ATTRIBUTE_NORMAL) == 0;
}

}  // namespace

const void* const* service_table() { return kServiceTable; }

CompiledResult call_compiled(const void* routine, const uint32_t* args, int count, uint32_t eax) {
  CompiledResult r{};
  orvel_call_compiled(&r, routine, args, count, eax);
  return r;
}

CommandRoutine resolve_command(uint32_t library, uint32_t selector) {
  runtime::Runtime& r = rt();
  if (library >= r.libraries.size()) raise_error("无效的支持库指定!", 0);
  if (!r.libraries[library].commands) ensure_loaded(library);
  CommandRoutine* table = r.libraries[library].commands;
  uint32_t slot = selector / 4;
  bool in_range = selector % 4 == 0 && (library != 0 || slot < uint32_t(corelib::kSlotCount));
  if (!table || !in_range || !table[slot]) raise_error("所调用的支持库命令不存在", 0);
  return table[slot];
}

char* find_next_file(const char* pattern, uint32_t mask, int32_t any_file, void** handle_word) {
  if (!handle_word) return nullptr;
  WIN32_FIND_DATAA data;
  HANDLE h = *handle_word;
  bool have;
  if (pattern && *pattern) {
    if (h && h != INVALID_HANDLE_VALUE) FindClose(h);
    h = FindFirstFileA(pattern, &data);
    *handle_word = h == INVALID_HANDLE_VALUE ? nullptr : h;
    have = h != INVALID_HANDLE_VALUE;
  } else {
    have = h && h != INVALID_HANDLE_VALUE && FindNextFileA(h, &data);
  }
  while (have) {
    if (attributes_match(data.dwFileAttributes, mask, any_file != 0)) {
      size_t n = std::strlen(data.cFileName);
      char* text = static_cast<char*>(allocate(static_cast<uint32_t>(n + 1)));
      std::memcpy(text, data.cFileName, n + 1);
      return text;
    }
    have = FindNextFileA(h, &data);
  }
  if (h && h != INVALID_HANDLE_VALUE) FindClose(h);
  *handle_word = nullptr;
  return nullptr;
}

}  // namespace runtime

// The function table of slot 12 and its refusal, reached from services_entries.S.
extern "C" const void* const orvel_further_table[6] asm("orvel_further_table");
const void* const orvel_further_table[6] = {
    reinterpret_cast<const void*>(&runtime::further_find_next),
    reinterpret_cast<const void*>(&runtime::further_end_search),
    reinterpret_cast<const void*>(&runtime::further_make_writable),
    reinterpret_cast<const void*>(&runtime::further_set_finalise),
    reinterpret_cast<const void*>(&runtime::further_read_object),
    reinterpret_cast<const void*>(&runtime::further_write_object),
};

extern "C" [[noreturn]] void orvel_bad_further(uint32_t number) asm("orvel_bad_further");
void orvel_bad_further(uint32_t) { runtime::raise_error("无效的服务功能号", 0); }

extern "C" runtime::CommandRoutine orvel_resolve_command(uint32_t library, uint32_t selector)
    asm("orvel_resolve_command");
runtime::CommandRoutine orvel_resolve_command(uint32_t library, uint32_t selector) {
  return runtime::guarded([&] { return runtime::resolve_command(library, selector); });
}
