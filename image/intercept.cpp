// Interception of LoadLibraryA, FreeLibrary and GetProcAddress for the program's own module,
// the import patching that installs it, GetNewSock and the instance release entry.
#include "image/intercept.h"
#include <algorithm>
#include <cstring>
#include "corelib/descriptor.h"
#include "image/memory_module.h"
#include "runtime/runtime.h"
#include "image/shutdown.h"
#include "image/startup.h"
#include "runtime/errors.h"

namespace image {

namespace {

using LoadLibraryFn = HMODULE(WINAPI*)(const char*);
using FreeLibraryFn = BOOL(WINAPI*)(HMODULE);
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, const char*);

// The addresses the program's own import slots held before the swap.
LoadLibraryFn g_load_library = nullptr;
FreeLibraryFn g_free_library = nullptr;
GetProcAddressFn g_get_proc_address = nullptr;

LoadLibraryFn previous_load() {
  return g_load_library ? g_load_library : &::LoadLibraryA;
}
FreeLibraryFn previous_free() { return g_free_library ? g_free_library : &::FreeLibrary; }
GetProcAddressFn previous_get_proc() {
  return g_get_proc_address ? g_get_proc_address : &::GetProcAddress;
}

// The COM bridge module a program may carry as a compressed copy (none in this executable),
// and the module made from it in memory on its first load request.
constexpr char kBridgeFile[] = "objbridge.vsx";
constexpr wchar_t kBridgeModuleName[] = L"objbridge.vsx";
struct BridgeCopy {
  const void* stream = nullptr;  // zlib stream with its header
  uint32_t stored = 0;           // its length
  uint32_t length = 0;           // the module's length once inflated
} g_bridge_copy;
HMODULE g_memory_bridge = nullptr;
int g_memory_bridge_uses = 0;  // load requests not yet matched by a release

HMODULE main_module() { return runtime::rt().main_module ? runtime::rt().main_module : GetModuleHandleA(nullptr); }

// The import directory of a loaded module, checked against the module's image size.
struct Imports {
  uint8_t* base = nullptr;
  uint32_t size = 0;
  IMAGE_IMPORT_DESCRIPTOR* first = nullptr;
};

Imports imports_of(HMODULE module) {
  Imports im;
  auto* base = reinterpret_cast<uint8_t*>(module);
  if (!base) return im;
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return im;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT)
    return im;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  uint32_t size = nt->OptionalHeader.SizeOfImage;
  if (!dir.VirtualAddress || dir.VirtualAddress >= size) return im;
  im.base = base;
  im.size = size;
  im.first = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
  return im;
}

bool inside(const Imports& im, uint32_t rva, uint32_t length) {
  return rva < im.size && length <= im.size - rva;
}

// The import slot of `function` from `dll`, or null.
void** find_slot(HMODULE module, const char* dll, const char* function) {
  Imports im = imports_of(module);
  if (!im.first) return nullptr;
  for (auto* d = im.first; inside(im, uint32_t(reinterpret_cast<uint8_t*>(d) - im.base), sizeof *d) &&
                           d->Name; ++d) {
    if (!inside(im, d->Name, 1)) return nullptr;
    if (lstrcmpiA(reinterpret_cast<char*>(im.base + d->Name), dll) != 0) continue;
    uint32_t names = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
    for (uint32_t i = 0;; ++i) {
      uint32_t name_rva = names + 4 * i, slot_rva = d->FirstThunk + 4 * i;
      if (!inside(im, name_rva, 4) || !inside(im, slot_rva, 4)) break;
      uint32_t entry = *reinterpret_cast<uint32_t*>(im.base + name_rva);
      if (!entry) break;
      if (entry & IMAGE_ORDINAL_FLAG32) continue;
      if (!inside(im, entry + 2, 1)) continue;
      auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(im.base + entry);
      if (std::strcmp(reinterpret_cast<char*>(by_name->Name), function) == 0)
        return reinterpret_cast<void**>(im.base + slot_rva);
    }
  }
  return nullptr;
}

void patch_loaded_module(HMODULE module) {
  patch_import(module, "Kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&intercepted_load_library));
  patch_import(module, "Kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&intercepted_free_library));
  patch_import(module, "Kernel32.dll", "GetProcAddress",
               reinterpret_cast<void*>(&intercepted_get_proc_address));
}

}  // namespace

void* patch_import(HMODULE module, const char* dll, const char* function, void* address) {
  void** slot = find_slot(module, dll, function);
  if (!slot) return nullptr;
  DWORD old;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_EXECUTE_READWRITE, &old)) return nullptr;
  void* previous = *slot;
  SIZE_T written = 0;
  BOOL ok = WriteProcessMemory(GetCurrentProcess(), slot, &address, sizeof address, &written);
  VirtualProtect(slot, sizeof(void*), old, &old);
  return ok && written == sizeof address ? previous : nullptr;
}

void* swap_import_slot(void** slot, void* address) {
  DWORD old;
  if (!slot || !VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return nullptr;
  void* previous = *slot;
  *slot = address;
  VirtualProtect(slot, sizeof(void*), old, &old);
  return previous;
}

void install_interceptions(HMODULE module) {
  if (g_load_library) return;
  struct Own {
    const char* name;
    void* routine;
    void** keep;
  } const own[] = {
      {"FreeLibrary", reinterpret_cast<void*>(&intercepted_free_library),
       reinterpret_cast<void**>(&g_free_library)},
      {"GetProcAddress", reinterpret_cast<void*>(&intercepted_get_proc_address),
       reinterpret_cast<void**>(&g_get_proc_address)},
      {"LoadLibraryA", reinterpret_cast<void*>(&intercepted_load_library),
       reinterpret_cast<void**>(&g_load_library)},
  };
  for (const Own& o : own)
    if (void** slot = find_slot(module, "Kernel32.dll", o.name))
      *o.keep = swap_import_slot(slot, o.routine);
}

void set_bridge_copy(const void* stream, uint32_t stored, uint32_t length) {
  g_bridge_copy = {stream, stored, length};
}

HMODULE memory_bridge() { return g_memory_bridge; }

HMODULE WINAPI intercepted_load_library(const char* path) {
  if (path) {
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;
    if (lstrcmpiA(name, kCoreLibraryFile) == 0) return main_module();
    if (lstrcmpiA(name, kBridgeFile) == 0 && g_bridge_copy.stream) {
      if (!g_memory_bridge)
        g_memory_bridge = load_compressed_module(g_bridge_copy.stream, g_bridge_copy.stored,
                                                 g_bridge_copy.length, kBridgeModuleName, 0);
      if (g_memory_bridge) ++g_memory_bridge_uses;
      return g_memory_bridge;
    }
  }
  HMODULE module = previous_load()(path);
  if (module && module != main_module()) patch_loaded_module(module);
  return module;
}

BOOL WINAPI intercepted_free_library(HMODULE module) {
  if (!module || module == main_module()) return TRUE;
  if (module == g_memory_bridge) {  // detached and released with its last use
    if (--g_memory_bridge_uses > 0) return TRUE;
    g_memory_bridge = nullptr;
    return free_memory_module(module) == 0;
  }
  return previous_free()(module);
}

FARPROC WINAPI intercepted_get_proc_address(HMODULE module, const char* name) {
  if (!module) return nullptr;
  if (module == g_memory_bridge) return memory_module_export(module, name);
  if (module != main_module()) return previous_get_proc()(module, name);
  if (!name || reinterpret_cast<uintptr_t>(name) <= 0xFFFF) return nullptr;
  if (lstrcmpiA(name, "GetNewInf") == 0) return reinterpret_cast<FARPROC>(&corelib::get_new_inf);
  if (lstrcmpiA(name, "GetNewSock") == 0) return reinterpret_cast<FARPROC>(&get_new_sock);
  return nullptr;
}

void __stdcall release_instance(int32_t n) {
  runtime::Runtime& r = runtime::rt();
  if (n != -1) {
    auto it = std::find(r.instances.begin(), r.instances.end(), n);
    if (it != r.instances.end()) {
      size_t at = size_t(it - r.instances.begin());
      r.instances.erase(it);
      if (at < r.const_ranges.size()) r.const_ranges.erase(r.const_ranges.begin() + at);
    }
    auto& pairs = r.runtime_instances;
    pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                               [n](const auto& p) { return p.first == n; }),
                pairs.end());
  }
  if (r.images_loaded > 0 && --r.images_loaded == 0) shutdown(0);
}

}  // namespace image

// The C++ half of GetNewSock: EAX routine, EDX instance number.
extern "C" uint64_t orvel_get_new_sock_answer(int32_t code, uint32_t caller_ebx)
    asm("orvel_get_new_sock_answer");
uint64_t orvel_get_new_sock_answer(int32_t code, uint32_t caller_ebx) {
  runtime::Runtime& r = runtime::rt();
  auto answer = [](const void* routine, uint32_t instance) {
    return uint64_t(instance) << 32 | uint32_t(reinterpret_cast<uintptr_t>(routine));
  };
  const void* run = reinterpret_cast<const void*>(&image::run_entry);
  uint32_t next = uint32_t(r.instance_counter + 1);
  switch (code) {
    case 1000: return answer(run, 0);
    case 1001: return answer(run, next);
    case 1002: return answer(reinterpret_cast<const void*>(&image::release_instance), 0);
    case 1003:
      runtime::guarded([&] { r.runtime_instances.push_back({int(next), caller_ebx}); });
      return answer(run, next);
    default: return 0;
  }
}

// void* __stdcall orvel_get_new_sock(int code)
//   in:  [esp+4] code; EBX the caller's word recorded by code 1003
//   out: EAX routine or 0, EDX instance number (codes 1001, 1003); removes its argument
//   kept: EBX, ESI, EDI, EBP
asm(R"(
    .intel_syntax noprefix
    .text
    .globl orvel_get_new_sock
orvel_get_new_sock:
    push  ebx
    push  dword ptr [esp+8]
    call  orvel_get_new_sock_answer
    add   esp, 8
    ret   4
    .att_syntax prefix
)");
