// In-memory module loader: verification, placement, relocation, import binding, entry, exports.
#include "image/memory_module.h"
#include <zlib.h>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace image {

namespace {

constexpr uint32_t kMaxSections = 96;

// A loaded memory module; the module handle is `base`.
struct MemoryModule {
  uint8_t* base = nullptr;
  uint32_t size = 0;              // SizeOfImage
  uint32_t flags = 0;
  uint32_t entry = 0;             // entry point offset, 0 = none
  bool library = false;           // IMAGE_FILE_DLL
  std::vector<HMODULE> imports;   // released at detach, last first
  std::wstring name;
};

std::mutex g_mutex;
std::vector<std::unique_ptr<MemoryModule>> g_modules;

// Bounds-checked view of a byte range: every read says how many bytes it needs first.
class Bytes {
 public:
  Bytes(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}
  bool has(uint64_t offset, uint64_t count) const { return offset + count <= size_; }
  template <class T> const T* at(uint64_t offset) const {
    return has(offset, sizeof(T)) ? reinterpret_cast<const T*>(data_ + offset) : nullptr;
  }
  // A NUL-terminated text wholly inside the range, or null.
  const char* text(uint64_t offset) const {
    if (offset >= size_) return nullptr;
    const void* nul = std::memchr(data_ + offset, 0, size_ - offset);
    return nul ? reinterpret_cast<const char*>(data_ + offset) : nullptr;
  }

 private:
  const uint8_t* data_;
  uint32_t size_;
};

// A writable view over the placed image.
class Placed : public Bytes {
 public:
  Placed(uint8_t* data, uint32_t size) : Bytes(data, size), data_(data) {}
  template <class T> T* slot(uint64_t offset) const {
    return has(offset, sizeof(T)) ? reinterpret_cast<T*>(data_ + offset) : nullptr;
  }

 private:
  uint8_t* data_;
};

struct Headers {
  const IMAGE_NT_HEADERS32* nt = nullptr;
  const IMAGE_SECTION_HEADER* sections = nullptr;
  uint32_t section_count = 0;
};

uint32_t verify(const Bytes& in, Headers& h) {
  auto dos = in.at<IMAGE_DOS_HEADER>(0);
  if (!dos) return kMemTruncated;
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return kMemBadFormat;
  const uint64_t nt_at = static_cast<uint32_t>(dos->e_lfanew);
  auto sig = in.at<uint32_t>(nt_at);
  auto file = in.at<IMAGE_FILE_HEADER>(nt_at + 4);
  if (!sig || !file) return kMemTruncated;
  if (*sig != IMAGE_NT_SIGNATURE || file->NumberOfSections == 0 ||
      file->NumberOfSections > kMaxSections)
    return kMemBadFormat;
  // The optional header's fixed part, through the directory count, must be present.
  const uint64_t opt_at = nt_at + 4 + sizeof(IMAGE_FILE_HEADER);
  constexpr uint32_t kFixedOptional = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
  if (file->SizeOfOptionalHeader < kFixedOptional) return kMemBadFormat;
  if (!in.has(opt_at, kFixedOptional)) return kMemTruncated;
  auto opt = reinterpret_cast<const IMAGE_OPTIONAL_HEADER32*>(in.at<uint8_t>(opt_at));
  if (opt->Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC || opt->SizeOfImage == 0 ||
      opt->SizeOfHeaders == 0)
    return kMemBadFormat;
  if (!(file->Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) || !(opt->Subsystem & 3))
    return kMemNotRunnable;
  if (opt->NumberOfRvaAndSizes != IMAGE_NUMBEROF_DIRECTORY_ENTRIES ||
      file->SizeOfOptionalHeader < sizeof(IMAGE_OPTIONAL_HEADER32))
    return kMemDirectoryCount;
  if (!in.has(opt_at, sizeof(IMAGE_OPTIONAL_HEADER32))) return kMemTruncated;

  const uint64_t sections_at = opt_at + file->SizeOfOptionalHeader;
  if (!in.has(sections_at, uint64_t(file->NumberOfSections) * sizeof(IMAGE_SECTION_HEADER)))
    return kMemTruncated;
  if (opt->SizeOfHeaders > opt->SizeOfImage || sections_at > opt->SizeOfHeaders)
    return kMemBadFormat;
  if (!in.has(0, opt->SizeOfHeaders)) return kMemTruncated;
  if (opt->AddressOfEntryPoint >= opt->SizeOfImage) return kMemBadFormat;

  h.nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(in.at<uint8_t>(nt_at));
  h.sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(in.at<uint8_t>(sections_at));
  h.section_count = file->NumberOfSections;
  for (uint32_t i = 0; i < h.section_count; ++i) {
    const IMAGE_SECTION_HEADER& s = h.sections[i];
    const uint64_t span = s.Misc.VirtualSize ? s.Misc.VirtualSize : s.SizeOfRawData;
    if (uint64_t(s.VirtualAddress) + span > opt->SizeOfImage ||
        uint64_t(s.VirtualAddress) + s.SizeOfRawData > opt->SizeOfImage)
      return kMemBadFormat;
    if (s.SizeOfRawData && !in.has(s.PointerToRawData, s.SizeOfRawData)) return kMemTruncated;
  }
  return kMemOk;
}

uint8_t* place(const IMAGE_OPTIONAL_HEADER32& opt) {
  void* at = nullptr;
  if (opt.ImageBase && (opt.ImageBase & 0xFFFF) == 0)
    at = VirtualAlloc(reinterpret_cast<void*>(opt.ImageBase), opt.SizeOfImage,
                      MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
  if (!at)
    at = VirtualAlloc(nullptr, opt.SizeOfImage, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
  return static_cast<uint8_t*>(at);
}

void copy_image(const uint8_t* data, const Headers& h, uint8_t* base) {
  std::memcpy(base, data, h.nt->OptionalHeader.SizeOfHeaders);
  for (uint32_t i = 0; i < h.section_count; ++i) {
    const IMAGE_SECTION_HEADER& s = h.sections[i];
    uint32_t n = s.SizeOfRawData;
    if (s.Misc.VirtualSize && s.Misc.VirtualSize < n) n = s.Misc.VirtualSize;
    if (n) std::memcpy(base + s.VirtualAddress, data + s.PointerToRawData, n);
  }
}

uint32_t relocate(const Placed& img, const IMAGE_OPTIONAL_HEADER32& opt, uint32_t delta,
                  bool stripped) {
  const IMAGE_DATA_DIRECTORY& dir = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  if (stripped || dir.VirtualAddress == 0 || dir.Size == 0 || !img.has(dir.VirtualAddress, dir.Size))
    return kMemNoRelocations;
  const uint64_t end = uint64_t(dir.VirtualAddress) + dir.Size;
  for (uint64_t at = dir.VirtualAddress; at + sizeof(IMAGE_BASE_RELOCATION) <= end;) {
    auto block = img.at<IMAGE_BASE_RELOCATION>(at);
    if (block->SizeOfBlock == 0) break;  // padding at the end of the directory
    if (block->SizeOfBlock < sizeof(IMAGE_BASE_RELOCATION) || at + block->SizeOfBlock > end)
      return kMemNoRelocations;
    const uint32_t count = (block->SizeOfBlock - sizeof(IMAGE_BASE_RELOCATION)) / 2;
    const uint16_t* entries = img.at<uint16_t>(at + sizeof(IMAGE_BASE_RELOCATION));
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t type = entries[i] >> 12;
      const uint64_t target = uint64_t(block->VirtualAddress) + (entries[i] & 0xFFF);
      switch (type) {
        case IMAGE_REL_BASED_ABSOLUTE:
          break;
        case IMAGE_REL_BASED_HIGH:
        case IMAGE_REL_BASED_LOW: {
          uint16_t* w = img.slot<uint16_t>(target);
          if (!w) return kMemNoRelocations;
          *w += type == IMAGE_REL_BASED_HIGH ? uint16_t(delta >> 16) : uint16_t(delta);
          break;
        }
        case IMAGE_REL_BASED_HIGHLOW: {
          uint32_t* d = img.slot<uint32_t>(target);
          if (!d) return kMemNoRelocations;
          *d += delta;
          break;
        }
        case IMAGE_REL_BASED_HIGHADJ: {  // the next entry holds the low half
          uint16_t* w = img.slot<uint16_t>(target);
          if (!w || i + 1 >= count) return kMemNoRelocations;
          uint32_t v = (uint32_t(*w) << 16) + uint32_t(int32_t(int16_t(entries[++i])));
          *w = uint16_t((v + delta + 0x8000) >> 16);
          break;
        }
        default:
          return kMemNoInput;
      }
    }
    at += block->SizeOfBlock;
  }
  return kMemOk;
}

uint32_t bind_imports(const Placed& img, const IMAGE_OPTIONAL_HEADER32& opt, MemoryModule& m) {
  const IMAGE_DATA_DIRECTORY& dir = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.Size == 0 || dir.VirtualAddress == 0) return kMemOk;
  for (uint64_t at = dir.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    auto desc = img.at<IMAGE_IMPORT_DESCRIPTOR>(at);
    if (!desc) return kMemBadFormat;
    if (desc->Name == 0 && desc->FirstThunk == 0) return kMemOk;  // the closing descriptor
    const char* dll = img.text(desc->Name);
    if (!dll) return kMemBadFormat;
    HMODULE module = LoadLibraryA(dll);
    if (!module) return kMemImportModule;
    m.imports.push_back(module);
    const uint32_t names = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
    for (uint64_t i = 0;; ++i) {
      auto ref = img.at<uint32_t>(names + 4 * i);
      uint32_t* slot = img.slot<uint32_t>(desc->FirstThunk + 4 * i);
      if (!ref || !slot) return kMemBadFormat;
      if (*ref == 0) break;
      FARPROC fn;
      if (*ref & IMAGE_ORDINAL_FLAG32) {
        fn = GetProcAddress(module, MAKEINTRESOURCEA(*ref & 0xFFFF));
      } else {
        const char* name = img.text(uint64_t(*ref) + 2);  // after the hint
        if (!name) return kMemBadFormat;
        fn = GetProcAddress(module, name);
      }
      if (!fn) return kMemImportFunction;
      *slot = reinterpret_cast<uintptr_t>(fn);
    }
  }
}

using DllEntry = BOOL(WINAPI*)(HINSTANCE, DWORD, void*);
using ProgramEntry = void(WINAPI*)();

struct AttachCall {
  DllEntry entry;
  HINSTANCE module;
  BOOL result;
};

DWORD WINAPI attach_thread(void* p) {
  auto call = static_cast<AttachCall*>(p);
  call->result = call->entry(call->module, DLL_PROCESS_ATTACH, nullptr);
  return 0;
}

DWORD WINAPI program_thread(void* entry) {
  reinterpret_cast<ProgramEntry>(entry)();
  return 0;
}

// Runs the entry; false when a library refused the attach (or its thread could not start).
bool start(const MemoryModule& m) {
  if (m.entry == 0 || (m.flags & kMemSkipEntry)) return true;
  void* entry = m.base + m.entry;
  const bool threaded = m.flags & kMemEntryOnThread;
  if (!m.library) {
    if (!threaded) {
      reinterpret_cast<ProgramEntry>(entry)();
      return true;
    }
    HANDLE t = CreateThread(nullptr, 0, program_thread, entry, 0, nullptr);
    if (t) CloseHandle(t);
    return t != nullptr;
  }
  AttachCall call{reinterpret_cast<DllEntry>(entry), reinterpret_cast<HINSTANCE>(m.base), FALSE};
  if (!threaded) return call.entry(call.module, DLL_PROCESS_ATTACH, nullptr) != FALSE;
  HANDLE t = CreateThread(nullptr, 0, attach_thread, &call, 0, nullptr);
  if (!t) return false;
  WaitForSingleObject(t, INFINITE);  // the attach result decides whether the load succeeded
  CloseHandle(t);
  return call.result != FALSE;
}

void release(MemoryModule& m) {
  for (auto it = m.imports.rbegin(); it != m.imports.rend(); ++it) FreeLibrary(*it);
  m.imports.clear();
  if (m.base) VirtualFree(m.base, 0, MEM_RELEASE);
  m.base = nullptr;
}

MemoryModule* find(HMODULE module) {
  for (auto& m : g_modules)
    if (reinterpret_cast<HMODULE>(m->base) == module) return m.get();
  return nullptr;
}

bool same_name(const char* a, const char* b) {  // ASCII, without case
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
    if (!x) return true;
  }
}

HMODULE fail(uint32_t code, uint32_t* error) {
  if (error) *error = code;
  return nullptr;
}

}  // namespace

HMODULE load_memory_module(const void* data, size_t size, const wchar_t* name, uint32_t flags,
                           uint32_t* error) {
  if (!data || size == 0) return fail(kMemNoInput, error);
  if (!name || !*name) return fail(kMemNoName, error);
  const Bytes in(static_cast<const uint8_t*>(data), size > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(size));
  Headers h;
  if (uint32_t code = verify(in, h)) return fail(code, error);
  const IMAGE_OPTIONAL_HEADER32& opt = h.nt->OptionalHeader;

  auto m = std::make_unique<MemoryModule>();
  m->base = place(opt);
  if (!m->base) return fail(kMemNoMemory, error);
  m->size = opt.SizeOfImage;
  m->flags = flags;
  m->entry = opt.AddressOfEntryPoint;
  m->library = h.nt->FileHeader.Characteristics & IMAGE_FILE_DLL;
  m->name = name;
  copy_image(static_cast<const uint8_t*>(data), h, m->base);

  // Directory positions come from the verified input headers (a section may overlay the
  // placed copy of them); everything they point at is read from the placed image.
  const Placed img(m->base, m->size);
  const uint32_t delta = reinterpret_cast<uintptr_t>(m->base) - opt.ImageBase;
  uint32_t code = kMemOk;
  if (delta != 0)
    code = relocate(img, opt, delta, h.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
  if (!code) code = bind_imports(img, opt, *m);
  if (!code && !start(*m)) code = kMemEntryRefused;
  if (code) {
    release(*m);
    return fail(code, error);
  }
  if (error) *error = kMemOk;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_modules.push_back(std::move(m));
  return reinterpret_cast<HMODULE>(g_modules.back()->base);
}

HMODULE load_compressed_module(const void* stream, size_t stream_size, size_t image_size,
                               const wchar_t* name, uint32_t flags, uint32_t* error) {
  if (!stream || stream_size == 0 || image_size == 0) return fail(kMemNoInput, error);
  std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[image_size]);
  if (!raw) return fail(kMemNoMemory, error);
  uLongf length = static_cast<uLongf>(image_size);
  if (uncompress(raw.get(), &length, static_cast<const Bytef*>(stream),
                 static_cast<uLong>(stream_size)) != Z_OK ||
      length != image_size)
    return fail(kMemDamagedCopy, error);
  return load_memory_module(raw.get(), length, name, flags, error);
}

bool is_memory_module(HMODULE module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return module && find(module);
}

FARPROC memory_module_export(HMODULE module, const char* name_or_ordinal) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MemoryModule* m = module ? find(module) : nullptr;
  if (!m || !name_or_ordinal) return nullptr;
  const Placed img(m->base, m->size);
  auto dos = img.at<IMAGE_DOS_HEADER>(0);
  auto nt = dos ? img.at<IMAGE_NT_HEADERS32>(static_cast<uint32_t>(dos->e_lfanew)) : nullptr;
  if (!nt) return nullptr;
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto exp = dir.Size ? img.at<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress) : nullptr;
  if (!exp) return nullptr;

  uint32_t index;
  const uintptr_t key = reinterpret_cast<uintptr_t>(name_or_ordinal);
  if (key <= 0xFFFF) {
    index = uint32_t(key) - exp->Base;
  } else {
    index = 0xFFFFFFFF;
    for (uint32_t i = 0; i < exp->NumberOfNames; ++i) {
      auto name_rva = img.at<uint32_t>(uint64_t(exp->AddressOfNames) + 4 * uint64_t(i));
      auto ordinal = img.at<uint16_t>(uint64_t(exp->AddressOfNameOrdinals) + 2 * uint64_t(i));
      if (!name_rva || !ordinal) return nullptr;
      const char* name = img.text(*name_rva);
      if (name && same_name(name, name_or_ordinal)) {
        index = *ordinal;
        break;
      }
    }
  }
  if (index >= exp->NumberOfFunctions) return nullptr;
  auto rva = img.at<uint32_t>(uint64_t(exp->AddressOfFunctions) + 4 * uint64_t(index));
  if (!rva || *rva == 0 || *rva >= m->size) return nullptr;
  if (*rva >= dir.VirtualAddress && *rva < uint64_t(dir.VirtualAddress) + dir.Size)
    return nullptr;  // forwarded to another module
  return reinterpret_cast<FARPROC>(m->base + *rva);
}

int free_memory_module(HMODULE module) {
  std::unique_ptr<MemoryModule> m;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_modules.begin(); it != g_modules.end(); ++it)
      if (reinterpret_cast<HMODULE>((*it)->base) == module) {
        m = std::move(*it);
        g_modules.erase(it);
        break;
      }
  }
  if (!m) return -1;
  int result = 0;
  if (m->library && m->entry && !(m->flags & kMemSkipEntry)) {
    auto entry = reinterpret_cast<DllEntry>(m->base + m->entry);
    if (!entry(reinterpret_cast<HINSTANCE>(m->base), DLL_PROCESS_DETACH, nullptr)) result = -1;
  }
  release(*m);
  return result;
}

uint32_t memory_module_size(HMODULE module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MemoryModule* m = module ? find(module) : nullptr;
  return m ? m->size : 0;
}

const wchar_t* memory_module_name(HMODULE module) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MemoryModule* m = module ? find(module) : nullptr;
  return m ? m->name.c_str() : nullptr;
}

}  // namespace image
