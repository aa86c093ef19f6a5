// Image preparation. A first pass checks every record, offset and relocation item against the
// image's extent, so that a corrupt image is reported before anything is changed; the second
// pass prepares in the fixed order: service table, constant range, code, variables, relocation,
// DLL commands, libraries, window templates, command tables.
#include "image/prepare.h"
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include "abi/format/image_format.h"
#include "runtime/runtime.h"
#include "image/working_copy.h"
#include "runtime/errors.h"
#include "runtime/heap.h"

namespace image {

namespace fmt = image::format;

namespace {

constexpr char kCorruptImage[] = "应用程序映像已损坏!";
constexpr char kBadTemplates[] = "载入窗口模板数据段出错!";
constexpr uint32_t kMaxSections = 4096;

std::vector<PreparedImage>& prepared() {
  static std::vector<PreparedImage> list;
  return list;
}

[[noreturn]] void corrupt() { runtime::raise_error(kCorruptImage, 0); }

uint32_t word(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void set_word(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The bytes preparation may read and write: the recorded extent, or else the committed
// memory from the working copy to the end of its allocation.
struct Span {
  const uint8_t* begin;
  uint64_t size;
  bool holds(uint32_t offset, uint64_t n) const { return offset <= size && n <= size - offset; }
};

Span image_span(const uint8_t* w) {
  if (const ImageExtent* e = image_extent(w)) return {w, e->size};
  MEMORY_BASIC_INFORMATION mbi;
  uint64_t size = 0;
  const uint8_t* p = w;
  void* base = nullptr;
  while (VirtualQuery(p, &mbi, sizeof mbi) && mbi.State == MEM_COMMIT &&
         (base == nullptr || mbi.AllocationBase == base)) {
    base = mbi.AllocationBase;
    const uint8_t* end = static_cast<const uint8_t*>(mbi.BaseAddress) + mbi.RegionSize;
    size = static_cast<uint64_t>(end - w);
    p = end;
  }
  return {w, size};
}

struct Section {
  uint32_t offset;            // of the record, from W
  fmt::SectionRecord* rec;
  std::string name;
  uint8_t* data = nullptr;    // set while relocating
  uint32_t bound = 0;         // bytes the relocation items may reach
};

bool named(const Section& s, const char* name) { return s.name == name; }

class Preparation {
 public:
  Preparation(uint8_t* w, const PrepareEnv& env) : w_(w), env_(env), span_(image_span(w)) {}

  void* run() {
    check();
    runtime::Runtime& r = runtime::rt();
    ++r.images_loaded;
    ++r.instance_counter;
    take_header_fields();
    fill_service_table();
    r.instances.push_back(r.instance_counter);
    register_constants();
    image_.bases[fmt::kBaseCode] = section_data(header_->code_section);
    allocate_variables();
    relocate();
    uint32_t dll_before = static_cast<uint32_t>(r.dll_commands.size());
    add_dll_commands();
    if (dll_before > 0) adjust(fmt::kIdDllIndex, [&](uint32_t v) { return v + dll_before; });
    uint32_t libraries_before = static_cast<uint32_t>(r.libraries.size());
    if (!load_libraries()) return nullptr;
    if (libraries_before > 0) shift_library_operands(libraries_before);
    read_templates(libraries_before);
    publish_command_tables();
    prepared().push_back(image_);
    if (r.run_mode == 2) debugger_stop();
    return at(header_->startup);
  }

 private:
  // ---- first pass: nothing is changed until the whole image is known to be sound ----
  void check() {
    if (!span_.holds(0, fmt::kHeaderFixedSize)) corrupt();
    header_ = reinterpret_cast<fmt::ImageHeader*>(w_);
    const ImageExtent* e = image_extent(w_);
    length_ = e ? e->header_length : header_->length_copy;
    dll_count_ = header_->dll_count;
    if (length_ < fmt::kHeaderFixedSize || !span_.holds(0, length_) ||
        fmt::kHeaderFixedSize + 8ull * dll_count_ > length_)
      corrupt();
    std::set<uint32_t> seen;
    for (uint32_t at = header_->first_section; at != fmt::kAbsent;) {
      if (!seen.insert(at).second || seen.size() > kMaxSections) corrupt();
      if (!span_.holds(at, sizeof(fmt::SectionRecord))) corrupt();
      Section s{at, reinterpret_cast<fmt::SectionRecord*>(w_ + at), {}};
      s.name.assign(s.rec->name, strnlen(s.rec->name, sizeof s.rec->name));
      if (!span_.holds(at + sizeof(fmt::SectionRecord), 4ull * s.rec->reloc_count)) corrupt();
      check_data(s);
      sections_.push_back(s);
      at = s.rec->next;
    }
    for (uint32_t slot : {header_->const_section, header_->form_section, header_->help_section,
                          header_->code_section, header_->var_section})
      if (slot != fmt::kAbsent && !find(slot)) corrupt();
    if (!span_.holds(header_->startup, 1)) corrupt();
    // The start-up routine lies in the code section's data; the service table has its 13
    // slots (image preparation writes all of them).
    const Section* code = header_->code_section == fmt::kAbsent ? nullptr : find(header_->code_section);
    if (!code || header_->startup < code->rec->data_offset ||
        header_->startup - code->rec->data_offset >= code->bound)
      corrupt();
    if (header_->help_section != fmt::kAbsent &&
        find(header_->help_section)->rec->memory_size < fmt::kServiceTableSize)
      corrupt();
  }

  // Where a section's data lies and how far its relocation items may reach.
  void check_data(Section& s) {
    const fmt::SectionRecord& r = *s.rec;
    bool allocated = (s.offset == header_->var_section && r.memory_size > 0) ||
                     ((r.flags & fmt::kZeroExtend) && r.stored_size < r.memory_size);
    if (allocated) {
      if (!span_.holds(r.data_offset, r.stored_size)) corrupt();
      s.bound = r.memory_size;
    } else {
      s.bound = std::max(r.stored_size, r.memory_size);
      if (!span_.holds(r.data_offset, s.bound)) corrupt();
    }
    const uint8_t* items = w_ + s.offset + sizeof(fmt::SectionRecord);
    for (uint32_t i = 0; i < r.reloc_count; ++i) {
      uint32_t item = word(items + 4 * i);
      if (fmt::reloc_base(item) >= fmt::kBaseCount) corrupt();
      if (s.bound < 4 || fmt::reloc_position(item) > s.bound - 4) corrupt();
    }
  }

  Section* find(uint32_t offset) {
    for (Section& s : sections_)
      if (s.offset == offset) return &s;
    return nullptr;
  }

  // Offsets from W wrap around the 32-bit address space: blocks may lie below W.
  uint8_t* at(uint32_t offset) const { return reinterpret_cast<uint8_t*>(static_cast<uint32_t>(address(w_) + offset)); }
  uint32_t offset_of(const void* p) const { return address(p) - address(w_); }

  uint32_t section_data(uint32_t slot) {
    if (slot == fmt::kAbsent) return 0;
    return address(at(find(slot)->rec->data_offset));
  }

  // ---- second pass ----
  void take_header_fields() {
    runtime::Runtime& r = runtime::rt();
    image_.working_copy = w_;
    image_.extent = span_.size;
    if (r.images_loaded == 1) {
      r.run_mode = header_->run_mode;
      r.flags = header_->flags;
      r.serial_counter = header_->serial_counter + 1;
      if (env_.program_setup) env_.program_setup();
    } else {
      r.serial_counter = std::max(r.serial_counter, header_->serial_counter) + 1;
    }
  }

  void fill_service_table() {
    if (header_->help_section == fmt::kAbsent) return;
    Section* help = find(header_->help_section);
    uint8_t* data = at(help->rec->data_offset);
    uint32_t n = std::min(help->rec->memory_size, fmt::kServiceTableSize);
    if (env_.service_table) std::memcpy(data, env_.service_table, n);
    image_.bases[fmt::kBaseHelp] = address(data);
  }

  void register_constants() {
    runtime::Runtime& r = runtime::rt();
    if (header_->const_section == fmt::kAbsent) {
      r.const_ranges.push_back({nullptr, nullptr});
      return;
    }
    const fmt::SectionRecord* c = find(header_->const_section)->rec;
    const uint8_t* data = at(c->data_offset);
    r.const_ranges.push_back({data, data + c->memory_size});
    image_.bases[fmt::kBaseConst] = address(data);
  }

  uint8_t* new_block(uint32_t size, const uint8_t* stored, uint32_t stored_size) {
    auto* block = static_cast<uint8_t*>(runtime::allocate(size));
    if (stored_size) std::memcpy(block, stored, stored_size);
    std::memset(block + stored_size, 0, size - stored_size);
    runtime::rt().blocks.push_back(block);
    return block;
  }

  void allocate_variables() {
    if (header_->var_section == fmt::kAbsent) return;
    fmt::SectionRecord* v = find(header_->var_section)->rec;
    if (v->memory_size == 0) return;
    uint8_t* block = new_block(v->memory_size, nullptr, 0);
    image_.bases[fmt::kBaseVar] = address(block);
    v->stored_size = v->memory_size;
    v->flags &= ~fmt::kZeroExtend;
    v->data_offset = offset_of(block);
  }

  void relocate() {
    for (Section& s : sections_) {
      fmt::SectionRecord* r = s.rec;
      s.data = at(r->data_offset);
      if ((r->flags & fmt::kZeroExtend) && r->stored_size < r->memory_size) {
        s.data = new_block(r->memory_size, s.data, r->stored_size);
        r->stored_size = r->memory_size;
        r->data_offset = offset_of(s.data);
      }
      if (named(s, fmt::kRelocName)) {
        image_.id_tables = s.data;
        image_.id_tables_size = r->stored_size;
      }
      const uint8_t* items = w_ + s.offset + sizeof(fmt::SectionRecord);
      for (uint32_t i = 0; i < r->reloc_count; ++i) {
        uint32_t item = word(items + 4 * i);
        uint8_t* at = s.data + fmt::reloc_position(item);
        set_word(at, word(at) + image_.bases[fmt::reloc_base(item)]);
      }
    }
  }

  // A NUL-terminated text inside the const data, at `offset`.
  const char* const_text(uint32_t offset) {
    if (header_->const_section == fmt::kAbsent) corrupt();
    const fmt::SectionRecord* c = find(header_->const_section)->rec;
    const char* data = reinterpret_cast<const char*>(at(c->data_offset));
    if (offset >= c->memory_size || !memchr(data + offset, 0, c->memory_size - offset)) corrupt();
    return data + offset;
  }

  void add_dll_commands() {
    const uint8_t* names = w_ + fmt::kHeaderFixedSize;
    std::vector<runtime::DllCommand> added;
    for (uint32_t i = 0; i < dll_count_; ++i)
      added.push_back({nullptr, nullptr, const_text(word(names + 4 * i)), const_text(word(names + 4 * (dll_count_ + i)))});
    auto& table = runtime::rt().dll_commands;
    table.insert(table.end(), added.begin(), added.end());
  }

  // The code operands of one identifier table, read within the table's stored size; every
  // operand must lie inside the code.
  std::vector<uint8_t*> operands(uint32_t table) {
    std::vector<uint8_t*> out;
    if (!image_.id_tables) return out;
    uint32_t size = image_.id_tables_size, at = 0;
    Section* code = header_->code_section == fmt::kAbsent ? nullptr : find(header_->code_section);
    for (uint32_t t = 0; t <= table; ++t) {
      if (size - at < 4) return {};
      uint32_t count = std::min(word(image_.id_tables + at), (size - at - 4) / 4);
      at += 4;
      for (uint32_t i = 0; i < count; ++i, at += 4) {
        if (t != table) continue;
        uint32_t offset = word(image_.id_tables + at);
        if (!code || code->bound < 4 || offset > code->bound - 4) corrupt();
        out.push_back(code->data + offset);
      }
    }
    return out;
  }

  template <class F>
  void adjust(uint32_t table, F change) {
    for (uint8_t* op : operands(table)) set_word(op, change(word(op)));
  }

  void shift_library_operands(uint32_t q) {
    adjust(fmt::kIdLibrary, [q](uint32_t v) { return v ? v + q : v; });
    adjust(fmt::kIdTypeCode, [q](uint32_t v) {
      uint32_t w = v & ~0x20000000u;
      if ((w >> 16) <= 1) return v;
      return (((w >> 16) + q) << 16) | (w & 0xFFFF) | (v & 0x20000000u);
    });
  }

  bool load_libraries() {
    const char* p = reinterpret_cast<const char*>(w_) + fmt::library_list_offset(dll_count_);
    const char* end = reinterpret_cast<const char*>(w_) + length_;
    std::vector<const char*> entries;
    while (p < end && *p) {
      const char* nul = static_cast<const char*>(memchr(p, 0, end - p));
      if (!nul) corrupt();
      entries.push_back(p);
      p = nul + 1;
    }
    runtime::Runtime& r = runtime::rt();
    uint32_t q = static_cast<uint32_t>(r.libraries.size());
    r.libraries.resize(q + entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
      if (!env_.load_library || !env_.load_library(entries[i], q + static_cast<uint32_t>(i), false)) return false;
    return true;
  }

  void read_templates(uint32_t libraries_before) {
    if (header_->form_section == fmt::kAbsent) return;
    Section* form = find(header_->form_section);
    units::Templates read;
    if (!units::read_templates(form->data, form->rec->stored_size, read)) runtime::raise_error(kBadTemplates, 0);
    units::relocate_templates(read, image_.bases[fmt::kBaseCode], libraries_before);
    runtime::Runtime& r = runtime::rt();
    if (!r.templates.empty() && image_.id_tables) renumber(read);
    for (auto& t : read) r.templates.push_back(t.release());
  }

  void renumber(units::Templates& read) {
    units::IdPairs pairs = units::renumber_templates(read, runtime::rt().serial_counter);
    adjust(fmt::kIdWindowUnit, [&](uint32_t v) { return units::mapped_id(pairs, v, v); });
    if (!env_.rewrite_unit_ids) return;
    for (auto& t : read)
      for (units::Entry& e : t->entries) env_.rewrite_unit_ids(*t, e, pairs);
  }

  void publish_command_tables() {
    runtime::Runtime& r = runtime::rt();
    r.command_tables.clear();
    bool any = false;
    for (const runtime::LibrarySlot& l : r.libraries) any = any || l.descriptor;
    if (!any) return;
    for (const runtime::LibrarySlot& l : r.libraries) r.command_tables.push_back(l.commands);
  }

  // Stops in the debugger with EAX holding the address of the four section bases.
  void debugger_stop() {
    uint32_t* bases = prepared().back().bases;
    asm volatile("int3" : : "a"(bases) : "memory");
  }

  uint8_t* w_;
  const PrepareEnv& env_;
  Span span_;
  fmt::ImageHeader* header_ = nullptr;
  uint32_t length_ = 0, dll_count_ = 0;
  std::vector<Section> sections_;
  PreparedImage image_{};
};

}  // namespace

void* prepare_image(uint8_t* w, const PrepareEnv& env) { return Preparation(w, env).run(); }

const std::vector<PreparedImage>& prepared_images() { return prepared(); }

bool offset_in_image(const void* p, uint32_t* offset) {
  for (const PreparedImage& i : prepared()) {
    uint64_t at = static_cast<uint64_t>(address(p)) - address(i.working_copy);
    if (address(p) >= address(i.working_copy) && at < i.extent) {
      *offset = static_cast<uint32_t>(at);
      return true;
    }
  }
  return false;
}

}  // namespace image
