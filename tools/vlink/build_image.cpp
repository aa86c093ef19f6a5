// Image building: merges the sections of the program's objects into const, help, code and
// var, resolves their symbols across objects, turns relocations into relocation items and
// identifier tables, serialises the window templates, and lays out header, section records
// and data for the carrier's working place.
#include "build_image.h"
#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include "abi/format/carrier_format.h"
#include "abi/format/form_format.h"
#include "abi/format/image_format.h"

namespace vlink {

namespace fmt = image::format;

namespace {

enum Kind { kCode, kConst, kVar, kHelp, kIdTable, kIgnored, kWritable };
constexpr const char* kKindNames[] = {"code", "const", "var", "help", "identifier table", "ignored", "writable data"};

// Object section names of the identifier tables, in table order.
constexpr std::array<const char*, fmt::kIdTableCount> kIdSections = {".orv$id", ".orv$dll", ".orv$lib", ".orv$typ"};

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

Kind kind_of(const CoffSection& s, int* table) {
  const std::string& n = s.name;
  if (n == ".text" || starts_with(n, ".text$") || starts_with(n, ".text.")) return kCode;
  if (n == ".rdata" || starts_with(n, ".rdata$") || n == ".const") return kConst;
  if (n == ".bss" || starts_with(n, ".bss$")) return kVar;
  if (n == ".help") return kHelp;
  for (size_t i = 0; i < kIdSections.size(); ++i)
    if (n == kIdSections[i]) { *table = static_cast<int>(i); return kIdTable; }
  if (n == ".data" || starts_with(n, ".data$")) return s.size ? kWritable : kIgnored;
  if (n == ".drectve" || starts_with(n, ".debug") || starts_with(n, ".note") || n == ".comment" || s.size == 0) return kIgnored;
  throw Error("section " + n + " has no place in an image");
}

struct Placed {
  Kind kind = kIgnored;
  int table = -1;
  uint32_t offset = 0;  // within the merged data of its kind, or an absolute symbol's value
  bool absolute = false;
};

struct Merged {
  Bytes data[4];                                       // code, const, var (size only), help
  uint32_t var_size = 0;
  std::vector<uint32_t> relocs[4];                     // relocation items per kind
  std::array<std::vector<uint32_t>, fmt::kIdTableCount> id_tables;
  bool has_help = false;
};

constexpr uint32_t kBaseOf[] = {fmt::kBaseCode, fmt::kBaseConst, fmt::kBaseVar, fmt::kBaseHelp};

class Builder {
 public:
  Builder(const std::vector<CoffObject>& o, const Description& d) : objs_(o), desc_(d) {}

  Bytes build(uint32_t stamp) {
    place_sections();
    collect_globals();
    add_dll_names();
    apply_relocations();
    return layout(stamp);
  }

 private:
  void place_sections() {
    placed_.resize(objs_.size());
    for (size_t o = 0; o < objs_.size(); ++o) {
      placed_[o].resize(objs_[o].sections.size());
      for (size_t i = 0; i < objs_[o].sections.size(); ++i) place(o, i);
    }
  }

  // Initialised writable data: named by its first symbol, with what to write instead.
  [[noreturn]] void refuse_writable(size_t o, size_t i) {
    const CoffObject& obj = objs_[o];
    std::string what = "initialised writable data";
    for (const CoffSymbol& sym : obj.symbols)
      if (sym.section == static_cast<int16_t>(i + 1) && !sym.name.empty() &&
          sym.name != obj.sections[i].name && sym.name[0] != '.') {
        what += " " + source_name(obj, sym.name);
        break;
      }
    throw Error(obj.origin + ": " + what + " (section " + obj.sections[i].name +
                ") has no place in an image: make it const, or leave it zero-initialised and "
                "set it at start-up");
  }

  void place(size_t o, size_t i) {
    {
      const CoffSection& s = objs_[o].sections[i];
      Placed& p = placed_[o][i];
      p.kind = kind_of(s, &p.table);
      if (p.kind == kWritable) refuse_writable(o, i);
      uint32_t align = std::max<uint32_t>(s.alignment, 1);
      switch (p.kind) {
        case kHelp:
          // Every object's service table is the one table of the image: they overlay.
          if (s.size != fmt::kServiceTableSize)
            throw Error(".help must be exactly 13 slots (52 bytes); it has " + std::to_string(s.size));
          p.offset = 0;
          if (!m_.has_help) m_.data[kHelp] = s.data;
          m_.has_help = true;
          break;
        case kCode: case kConst: {
          Bytes& b = m_.data[p.kind];
          b.resize(align_up(static_cast<uint32_t>(b.size()), align), p.kind == kCode ? 0x90 : 0);
          p.offset = static_cast<uint32_t>(b.size());
          b.insert(b.end(), s.data.begin(), s.data.end());
          break;
        }
        case kVar:
          m_.var_size = align_up(m_.var_size, align);
          p.offset = m_.var_size;
          m_.var_size += s.size;
          break;
        default: break;
      }
    }
  }

  // External symbols by name: each defined once; common blocks not defined elsewhere get
  // their space in var.
  void collect_globals() {
    std::map<std::string, uint32_t> commons;
    for (size_t o = 0; o < objs_.size(); ++o) {
      for (const CoffSymbol& sym : objs_[o].symbols) {
        if (!sym.global() || sym.undefined()) continue;
        if (sym.common()) {
          commons[sym.name] = std::max(commons[sym.name], sym.value);
          continue;
        }
        auto [it, fresh] = defined_in_.emplace(sym.name, o);
        if (!fresh)
          throw Error("symbol " + source_name(objs_[o], sym.name) + " is defined in both " +
                      objs_[it->second].origin + " and " + objs_[o].origin);
        globals_[sym.name] = local_place(o, sym);
      }
    }
    for (const auto& [name, size] : commons) {
      if (globals_.count(name)) continue;
      uint32_t align = size >= 8 ? 8 : 4;
      m_.var_size = align_up(m_.var_size, align);
      globals_[name] = Placed{kVar, -1, m_.var_size, false};
      m_.var_size += size;
    }
  }

  Placed local_place(size_t o, const CoffSymbol& sym) {
    Placed p;
    if (sym.section == -1) {
      p.absolute = true;
      p.offset = sym.value;
      return p;
    }
    if (sym.section <= 0 || static_cast<size_t>(sym.section) > placed_[o].size())
      throw Error(objs_[o].origin + ": symbol " + source_name(objs_[o], sym.name) + " lies in no section");
    p = placed_[o][sym.section - 1];
    p.offset += sym.value;
    return p;
  }

  void add_dll_names() {
    Bytes& c = m_.data[kConst];
    std::map<std::string, uint32_t> seen;
    auto add = [&](const std::string& s) {
      auto it = seen.find(s);
      if (it != seen.end()) return it->second;
      uint32_t at = static_cast<uint32_t>(c.size());
      c.insert(c.end(), s.begin(), s.end());
      c.push_back(0);
      seen[s] = at;
      return at;
    };
    for (const DllDesc& d : desc_.dlls) {
      dll_file_.push_back(add(d.file));
      dll_function_.push_back(add(d.function));
    }
  }

  // Where symbol `index` of object `o` lies: kind and offset in that kind's merged data, or
  // its absolute value. An undefined symbol is looked up among the external ones.
  Placed symbol_place(size_t o, uint32_t index) {
    const CoffObject& obj = objs_[o];
    if (index >= obj.symbols.size()) throw Error("relocation names symbol " + std::to_string(index) + ", which does not exist");
    const CoffSymbol& sym = obj.symbols[index];
    if (sym.global() && sym.section == 0) {
      auto it = globals_.find(sym.name);
      if (it == globals_.end())
        throw Error("unresolved symbol " + source_name(obj, sym.name) + ", used in " + obj.origin);
      return it->second;
    }
    return local_place(o, sym);
  }

  void apply_relocations() {
    for (size_t o = 0; o < objs_.size(); ++o)
      for (size_t i = 0; i < objs_[o].sections.size(); ++i) relocate(o, i);
  }

  void relocate(size_t o, size_t i) {
    {
      const CoffSection& s = objs_[o].sections[i];
      const Placed& here = placed_[o][i];
      if (here.kind == kIgnored) return;
      if (here.kind == kIdTable) {
        id_table(o, s, here.table);
        return;
      }
      if (!s.relocs.empty() && (here.kind == kVar || here.kind == kHelp))
        throw Error("section " + s.name + " cannot hold relocations");
      Bytes& data = m_.data[here.kind];
      for (const CoffReloc& r : s.relocs) {
        if (r.type == kRelAbsolute) continue;
        uint32_t pos = here.offset + r.offset;
        Placed target = symbol_place(o, r.symbol);
        bool absolute = target.absolute;
        uint32_t addend = get32(data, pos);
        const std::string name = source_name(objs_[o], objs_[o].symbols[r.symbol].name);
        if (r.type == kRelDir32) {
          if (absolute) {
            put32(data, pos, target.offset + addend);
          } else if (target.kind <= kHelp) {
            put32(data, pos, target.offset + addend);
            if (pos > fmt::kMaxRelocPosition) throw Error("relocation position too large");
            m_.relocs[here.kind].push_back(fmt::reloc_item(kBaseOf[target.kind], pos));
          } else {
            throw Error("a 32-bit address of " + name + " in " + s.name + " points into a " + kKindNames[target.kind] + " section");
          }
        } else if (r.type == kRelRel32) {
          if (absolute || here.kind != kCode || target.kind != kCode)
            throw Error("a relative reference from " + s.name + " to " + name + " cannot be resolved: both must lie in code");
          put32(data, pos, target.offset + addend - (pos + 4));
        } else {
          throw Error("relocation type " + std::to_string(r.type) + " in " + s.name + " is not supported");
        }
      }
    }
  }

  // An identifier table section: one u32 per marked operand, each a 32-bit address in code.
  void id_table(size_t o, const CoffSection& s, int table) {
    if (s.size % 4 || s.relocs.size() != s.size / 4)
      throw Error("section " + s.name + " must hold only addresses of marked operands (use the orvel.inc macros)");
    std::vector<uint32_t> positions;
    for (const CoffReloc& r : s.relocs) {
      Placed target = symbol_place(o, r.symbol);
      if (r.type != kRelDir32 || target.absolute || target.kind != kCode || r.offset % 4)
        throw Error("section " + s.name + ": every entry must be the address of an operand in code");
      uint32_t at = target.offset + get32(s.data, r.offset);
      if (at > m_.data[kCode].size() || m_.data[kCode].size() - at < 4)
        throw Error("section " + s.name + ": marked operand outside the code");
      positions.push_back(at);
    }
    auto& t = m_.id_tables[table];
    t.insert(t.end(), positions.begin(), positions.end());
  }

  // A routine named by the description: an external symbol, or a label that one object
  // alone defines.
  uint32_t code_offset(const CodeRef& ref, const char* what) {
    if (ref.kind == CodeRef::kNone) return fmt::kNoHandler;
    if (ref.kind == CodeRef::kOffset) return ref.offset;
    std::optional<Placed> found;
    if (auto it = globals_.find(ref.symbol); it != globals_.end()) found = it->second;
    for (size_t o = 0; o < objs_.size() && !found; ++o)
      for (const CoffSymbol& sym : objs_[o].symbols)
        if (sym.name == ref.symbol && sym.section > 0) {
          found = local_place(o, sym);
          break;
        }
    if (found) {
      if (found->kind != kCode || found->absolute) throw Error(std::string(what) + " " + ref.symbol + " is not in code");
      return found->offset;
    }
    std::string hint;
    if (globals_.count("_" + ref.symbol))
      hint = " (it is a C function: declare it with ORV_HANDLER, ORV_STARTUP or ORV_SUBSTATEMENT from orvel.h)";
    throw Error(std::string(what) + " " + ref.symbol + " is not defined by any source of the program" + hint);
  }

  Bytes unit_payload(const UnitDesc& u) {
    Writer w;
    fmt::UnitHead head{};
    head.type = u.type;
    head.event_source = u.event_source;
    w.record(head);
    w.string(u.name);
    w.string(u.comment);
    if (u.menu_item) {
      fmt::MenuHead mh{};
      mh.flags = u.flags;
      w.record(mh);
      w.string(u.tag);
      w.u32(u.bindings.empty() ? fmt::kNoHandler : code_offset(u.bindings[0].handler, "handler"));
    } else {
      fmt::UnitPlace place{};
      place.left = u.left;
      place.top = u.top;
      place.width = u.width;
      place.height = u.height;
      place.parent = u.parent;
      place.child_count = static_cast<uint32_t>(u.children.size());
      w.record(place);
      for (uint32_t c : u.children) w.u32(c);
      w.u32(static_cast<uint32_t>(u.cursor.size()));
      w.raw(u.cursor);
      w.string(u.tag);
      fmt::UnitState st{};
      st.flags = u.flags;
      st.tab_order = u.tab_order;
      st.binding_count = static_cast<uint32_t>(u.bindings.size());
      w.record(st);
      for (const BindingDesc& b : u.bindings) {
        w.u32(static_cast<uint32_t>(b.event));
        w.u32(code_offset(b.handler, "handler"));
      }
      w.zeros(fmt::kUnitTailReserved);
    }
    w.raw(u.data);
    return std::move(w.bytes());
  }

  Bytes form() {
    Writer w;
    uint32_t count = static_cast<uint32_t>(desc_.windows.size());
    w.u32(8 * count);
    for (const WindowDesc& win : desc_.windows) w.u32(win.id);
    w.zeros(4 * count);
    for (const WindowDesc& win : desc_.windows) {
      if (win.units.empty()) throw Error("window " + std::to_string(win.id) + " has no entries (entry 0 is its own unit)");
      fmt::WindowHead head{win.owner, win.module};
      w.record(head);
      w.text(win.name);
      w.text(win.comment);
      uint32_t n = static_cast<uint32_t>(win.units.size());
      Writer block, entries;
      for (const UnitDesc& u : win.units) block.u32(u.id);
      for (const UnitDesc& u : win.units) {
        block.u32(entries.size());
        Bytes payload = unit_payload(u);
        entries.u32(static_cast<uint32_t>(payload.size()));
        entries.raw(payload);
      }
      block.raw(entries.bytes());
      w.u32(n);
      w.u32(block.size());
      w.raw(block.bytes());
    }
    return std::move(w.bytes());
  }

  uint32_t default_serial() const {
    uint32_t top = 0;
    for (const WindowDesc& win : desc_.windows) {
      top = std::max(top, fmt::id_serial(win.id));
      for (const UnitDesc& u : win.units) top = std::max(top, fmt::id_serial(u.id));
    }
    return top + 1;
  }

  Bytes header(uint32_t stamp, uint32_t* length) {
    uint32_t n = static_cast<uint32_t>(desc_.dlls.size());
    Writer list;
    if (desc_.library_block) {
      for (const std::string& lib : desc_.libraries) {
        if (lib.empty()) throw Error("a library list entry cannot be empty (an empty text ends the list)");
        if (lib.find('\0') != std::string::npos) throw Error("a library list entry cannot hold a NUL byte");
        list.string(lib);
      }
      list.string("");
      list.align(4);
    } else if (!desc_.libraries.empty()) {
      throw Error("libraries listed, but no-library-block given");
    }
    *length = fmt::library_list_offset(n) + list.size();
    Writer h;
    fmt::ImageHeader head{};
    head.build_stamp = stamp;
    head.length_copy = *length;
    head.one = 1;
    head.run_mode = desc_.run_mode;
    head.flags = desc_.flags;
    head.serial_counter = desc_.serial ? *desc_.serial : default_serial();
    head.dll_count = n;
    head.first_section = *length;
    h.record(head);
    for (uint32_t f : dll_file_) h.u32(f);
    for (uint32_t f : dll_function_) h.u32(f);
    Bytes& l = list.bytes();
    for (size_t i = 0; i < l.size(); i += 4) put32(l, i, get32(l, i) ^ stamp);
    h.raw(l);
    return std::move(h.bytes());
  }

  struct Section {
    std::string name;
    uint32_t flags;
    uint32_t memory_size;
    Bytes data;
    std::vector<uint32_t> relocs;
    uint32_t* header_slot;  // where the record's offset goes in the header, or null
  };

  Bytes layout(uint32_t stamp) {
    uint32_t length = 0;
    Bytes head = header(stamp, &length);
    auto* h = reinterpret_cast<fmt::ImageHeader*>(head.data());
    h->const_section = h->form_section = h->help_section = h->code_section = h->var_section = fmt::kAbsent;

    std::vector<Section> sections;
    Bytes& cdata = m_.data[kConst];
    if (!cdata.empty())
      sections.push_back({fmt::kConstName, fmt::kPlainFlags, uint32_t(cdata.size()), cdata, m_.relocs[kConst], &h->const_section});
    if (!desc_.windows.empty()) {
      Bytes f = form();
      sections.push_back({fmt::kFormName, fmt::kPlainFlags, uint32_t(f.size()), f, {}, &h->form_section});
    }
    if (m_.has_help)
      sections.push_back({fmt::kHelpName, fmt::kPlainFlags, fmt::kServiceTableSize, m_.data[kHelp], {}, &h->help_section});
    Bytes& code = m_.data[kCode];
    if (code.empty()) throw Error("the program has no code");
    sections.push_back({fmt::kCodeName, fmt::kCodeFlags, uint32_t(code.size()), code, m_.relocs[kCode], &h->code_section});
    if (m_.var_size)
      sections.push_back({fmt::kVarName, fmt::kVarFlags, m_.var_size, {}, {}, &h->var_section});
    Writer ids;
    for (const auto& t : m_.id_tables) {
      ids.u32(static_cast<uint32_t>(t.size()));
      for (uint32_t at : t) ids.u32(at);
    }
    sections.push_back({fmt::kRelocName, fmt::kPlainFlags, ids.size(), ids.bytes(), {}, nullptr});
    for (const SectionDesc& s : desc_.sections) {
      uint32_t memory = s.memory_size ? *s.memory_size : uint32_t(s.data.size());
      if (memory < s.data.size()) throw Error("section " + s.name + ": memory size below its stored size");
      sections.push_back({s.name, s.flags, memory, s.data, {}, nullptr});
    }

    // Offsets count from the working place, which lies `place` bytes before the image.
    uint32_t place = align_up(length, 16);
    Writer img;
    img.raw(head);
    uint32_t startup_offset = code_offset(desc_.startup, "start-up routine");
    if (desc_.startup.kind == CodeRef::kNone) throw Error("no startup routine given");
    std::vector<uint32_t> record_at;
    for (Section& s : sections) {
      img.align(4);
      uint32_t at = img.size();
      record_at.push_back(at);
      fmt::SectionRecord r{};
      r.fixed_length = sizeof r;
      r.next = fmt::kAbsent;
      r.flags = s.flags;
      std::copy(s.name.begin(), s.name.end(), r.name);
      r.memory_size = s.memory_size;
      r.stored_size = static_cast<uint32_t>(s.data.size());
      r.reloc_count = static_cast<uint32_t>(s.relocs.size());
      img.record(r);
      for (uint32_t item : s.relocs) img.u32(item);
      img.align(16);
      put32(img.bytes(), at + offsetof(fmt::SectionRecord, data_offset), place + img.size());
      if (&s != &sections.front())
        put32(img.bytes(), record_at[record_at.size() - 2] + offsetof(fmt::SectionRecord, next), place + at);
      if (s.header_slot) *s.header_slot = place + at;
      img.raw(s.data);
    }
    img.align(4);
    // The header was copied before its section slots were known: write them now.
    Bytes& out = img.bytes();
    std::copy(head.begin(), head.begin() + fmt::kHeaderFixedSize, out.begin());
    const auto* code_rec = reinterpret_cast<const fmt::SectionRecord*>(&out[h->code_section - place]);
    put32(out, offsetof(fmt::ImageHeader, startup), code_rec->data_offset + startup_offset);

    Writer carrier;
    image::CarrierHeader ch{};
    ch.magic = image::kCarrierMagic;
    ch.version = image::kCarrierVersion;
    ch.image_offset = place;
    ch.image_length = img.size();
    carrier.record(ch);
    carrier.zeros(place);
    carrier.raw(out);
    return std::move(carrier.bytes());
  }

  const std::vector<CoffObject>& objs_;
  const Description& desc_;
  std::vector<std::vector<Placed>> placed_;       // per object, per section
  std::map<std::string, Placed> globals_;         // external symbols by name
  std::map<std::string, size_t> defined_in_;      // and the object defining each
  Merged m_;
  std::vector<uint32_t> dll_file_, dll_function_;
};

}  // namespace

Bytes build_carrier(const std::vector<CoffObject>& objects, const Description& description, uint32_t stamp) {
  return Builder(objects, description).build(stamp);
}

}  // namespace vlink
