// Readable dump of an application image, written in the description syntax so that a dump can
// be linked again; what the assembly supplies (sections, relocation items, identifier tables)
// appears as comments. Every read is bounded: a corrupt image gives an error, not a crash.
#include "dump.h"
#include <cstdio>
#include <cstring>
#include <set>
#include "description.h"
#include "abi/format/carrier_format.h"
#include "abi/format/form_format.h"
#include "abi/format/image_format.h"

namespace vlink {

namespace fmt = image::format;

namespace {

std::string hex32(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

// Bounded reading of the image through offsets that count from the working place.
class ImageView {
 public:
  explicit ImageView(const Bytes& carrier) : c_(carrier) {
    if (get32(c_, 0) != image::kCarrierMagic) throw Error("no carrier header");
    place_ = get32(c_, 8);
    length_ = get32(c_, 12);
    if (size_t(image::kWorkingPlaceOffset) + place_ + length_ > c_.size()) throw Error("image runs past its section");
  }
  uint32_t place() const { return place_; }
  uint32_t length() const { return length_; }
  // Offsets may point anywhere inside the stored image.
  void check(uint32_t offset, uint32_t size, const char* what) const {
    if (offset < place_ || offset - place_ > length_ || length_ - (offset - place_) < size)
      throw Error(std::string(what) + " at " + hex32(offset) + " lies outside the image");
  }
  uint32_t u32(uint32_t offset, const char* what) const {
    check(offset, 4, what);
    return get32(c_, image::kWorkingPlaceOffset + offset);
  }
  Bytes bytes(uint32_t offset, uint32_t size, const char* what) const {
    check(offset, size, what);
    auto at = c_.begin() + image::kWorkingPlaceOffset + offset;
    return Bytes(at, at + size);
  }

 private:
  const Bytes& c_;
  uint32_t place_ = 0, length_ = 0;
};

struct SectionInfo {
  uint32_t at = 0;
  fmt::SectionRecord rec{};
  std::string name;
  std::vector<uint32_t> relocs;
};

std::string cstring(const Bytes& b, uint32_t at, const char* what) {
  if (at >= b.size()) throw Error(std::string(what) + " offset outside the const data");
  size_t end = at;
  while (end < b.size() && b[end]) ++end;
  if (end == b.size()) throw Error(std::string(what) + " not terminated inside the const data");
  return std::string(b.begin() + at, b.begin() + end);
}

std::string handler_ref(uint32_t stored) { return stored == fmt::kNoHandler ? std::string("none") : std::string("@").append(hex32(stored)); }

std::string flag_words(uint32_t flags, bool menu) {
  static const char* unit_names[] = {"visible", "disabled", "tab-stop"};
  static const char* menu_names[] = {"hidden", "disabled", "checked", "builder"};
  std::string out;
  uint32_t known = menu ? 0xF : 0x7;
  for (int i = 0; i < (menu ? 4 : 3); ++i)
    if (flags & (1u << i)) out += std::string(" ") + (menu ? menu_names : unit_names)[i];
  if (flags & ~known) out += " " + hex32(flags & ~known);
  return out;
}

class Dumper {
 public:
  Dumper(const Bytes& carrier, std::string& out) : v_(carrier), out_(out) {}

  void run() {
    line("# image: " + std::to_string(v_.length()) + " bytes, " + hex32(v_.place()) + " after the working place");
    uint32_t h = v_.place();
    Bytes fixed = v_.bytes(h, fmt::kHeaderFixedSize, "image header");
    fmt::ImageHeader head;
    std::memcpy(&head, fixed.data(), sizeof head);
    uint32_t length = head.first_section;  // stored: the header length
    uint32_t n = head.dll_count;
    if (length < fmt::kHeaderFixedSize || uint64_t(fmt::library_list_offset(0)) + 8ull * n > length)
      throw Error("header length " + hex32(length) + " cannot hold " + std::to_string(n) + " DLL commands");
    Bytes header = v_.bytes(h, length, "image header");
    walk_sections(h + length);

    line("stamp " + std::to_string(head.build_stamp));
    line("run-mode " + std::to_string(head.run_mode));
    line("flags " + hex32(head.flags));
    line("serial " + hex32(head.serial_counter));
    const SectionInfo* code = find(fmt::kCodeName);
    if (code && head.startup >= code->rec.data_offset)
      line("startup @" + hex32(head.startup - code->rec.data_offset));
    else
      line("# start-up routine at " + hex32(head.startup) + ", outside the code");
    libraries(header, head.build_stamp, n, length);
    dlls(header, n);
    sections_as_comments(head);
    extra_sections();
    if (const SectionInfo* form = find(fmt::kFormName))
      windows(v_.bytes(form->rec.data_offset, form->rec.stored_size, "form data"));
  }

 private:
  void line(const std::string& s) { out_ += s + "\n"; }

  const SectionInfo* find(const char* name) const {
    for (const SectionInfo& s : sections_)
      if (s.name == name) return &s;
    return nullptr;
  }

  void walk_sections(uint32_t first) {
    std::set<uint32_t> seen;
    for (uint32_t at = first; at != fmt::kAbsent;) {
      if (!seen.insert(at).second) throw Error("the section chain loops at " + hex32(at));
      SectionInfo s;
      s.at = at;
      Bytes r = v_.bytes(at, sizeof s.rec, "section record");
      std::memcpy(&s.rec, r.data(), sizeof s.rec);
      s.name.assign(s.rec.name, strnlen(s.rec.name, sizeof s.rec.name));
      v_.check(at + sizeof s.rec, s.rec.reloc_count * 4ull > 0xFFFFFFF ? 0xFFFFFFFF : s.rec.reloc_count * 4, "relocation items");
      for (uint32_t i = 0; i < s.rec.reloc_count; ++i) s.relocs.push_back(v_.u32(at + sizeof s.rec + 4 * i, "relocation item"));
      if (s.rec.stored_size) v_.check(s.rec.data_offset, s.rec.stored_size, "section data");
      sections_.push_back(s);
      at = s.rec.next;
    }
  }

  void libraries(const Bytes& header, uint32_t stamp, uint32_t n, uint32_t length) {
    uint32_t start = fmt::library_list_offset(n);
    if (start == length) {
      line("no-library-block");
      return;
    }
    Bytes list(header.begin() + start, header.end());
    for (size_t i = 0; i + 4 <= list.size(); i += 4) put32(list, i, get32(list, i) ^ stamp);
    size_t i = 0;
    while (i < list.size() && list[i]) {
      size_t end = i;
      while (end < list.size() && list[end]) ++end;
      line("library " + quote(std::string(list.begin() + i, list.begin() + end)));
      i = end + 1;
    }
  }

  void dlls(const Bytes& header, uint32_t n) {
    if (!n) return;
    const SectionInfo* c = find(fmt::kConstName);
    if (!c) throw Error("DLL commands named, but the image has no const section");
    Bytes data = v_.bytes(c->rec.data_offset, c->rec.stored_size, "const data");
    for (uint32_t i = 0; i < n; ++i) {
      std::string file = cstring(data, get32(header, fmt::kHeaderFixedSize + 4 * i), "DLL file name");
      std::string fn = cstring(data, get32(header, fmt::kHeaderFixedSize + 4 * (n + i)), "DLL function name");
      line("dll " + quote(file) + " " + quote(fn) + "  # index " + std::to_string(i));
    }
  }

  bool standard(const std::string& name) const {
    for (const char* s : {fmt::kConstName, fmt::kFormName, fmt::kHelpName, fmt::kCodeName, fmt::kVarName, fmt::kRelocName})
      if (name == s) return true;
    return false;
  }

  void sections_as_comments(const fmt::ImageHeader& head) {
    static const char* bases[] = {"help", "const", "var", "code", "base4", "base5", "base6", "base7"};
    line("# sections (from the assembly):");
    for (const SectionInfo& s : sections_) {
      line("#   " + s.name + " at " + hex32(s.at) + ": flags " + hex32(s.rec.flags) + ", memory " +
           std::to_string(s.rec.memory_size) + ", stored " + std::to_string(s.rec.stored_size) + ", data at " +
           hex32(s.rec.data_offset) + ", " + std::to_string(s.relocs.size()) + " relocation items");
      for (uint32_t item : s.relocs)
        line("#     + " + std::string(bases[fmt::reloc_base(item)]) + " at " + hex32(fmt::reloc_position(item)));
    }
    const uint32_t slots[] = {head.const_section, head.form_section, head.help_section, head.code_section, head.var_section};
    const char* names[] = {"const", "form", "help", "code", "var"};
    for (int i = 0; i < 5; ++i)
      line("#   header names " + std::string(names[i]) + ": " + (slots[i] == fmt::kAbsent ? std::string("absent") : hex32(slots[i])));
    if (const SectionInfo* r = find(fmt::kRelocName)) {
      static const char* tables[] = {"window/unit identifiers", "DLL command indexes", "library numbers", "library type codes"};
      Bytes data = v_.bytes(r->rec.data_offset, r->rec.stored_size, "@reloc1 data");
      size_t at = 0;
      for (int t = 0; t < 4; ++t) {
        if (at + 4 > data.size()) {
          line("#   @reloc1 ends before table " + std::to_string(t + 1));
          break;
        }
        uint32_t count = get32(data, at);
        at += 4;
        std::string s = "#   @reloc1 " + std::string(tables[t]) + ":";
        for (uint32_t i = 0; i < count && at + 4 <= data.size(); ++i, at += 4) s.append(" ").append(hex32(get32(data, at)));
        line(s);
      }
    }
  }

  void extra_sections() {
    for (const SectionInfo& s : sections_) {
      if (standard(s.name)) continue;
      Bytes data = v_.bytes(s.rec.data_offset, s.rec.stored_size, "section data");
      line("section " + quote(s.name) + " flags " + hex32(s.rec.flags) + " memory " + std::to_string(s.rec.memory_size) +
           " " + hex_literal(data));
    }
  }

  void windows(const Bytes& form) {
    uint32_t bytes = get32(form, 0);
    if (bytes % 8 || bytes > form.size() - 4) throw Error("form: bad window list size");
    uint32_t count = bytes / 8;
    size_t at = 4 + bytes;
    for (uint32_t w = 0; w < count; ++w) {
      uint32_t id = get32(form, 4 + 4 * w);
      uint32_t owner = get32(form, at), module = get32(form, at + 4);
      at += 8;
      std::string name = text(form, at), comment = text(form, at);
      uint32_t n = get32(form, at), size = get32(form, at + 4);
      at += 8;
      if (size > form.size() - at) throw Error("form: entry block past the end");
      Bytes block(form.begin() + at, form.begin() + at + size);
      at += size;
      line("");
      line("window " + hex32(id) + " " + quote(name));
      line("  owner " + hex32(owner));
      line("  module " + hex32(module));
      if (!comment.empty()) line("  comment " + quote(comment));
      entries(block, n);
    }
  }

  std::string text(const Bytes& b, size_t& at) {
    uint32_t n = get32(b, at);
    at += 4;
    if (n > b.size() - at) throw Error("form: text past the end");
    std::string s(b.begin() + at, b.begin() + at + n);
    at += n;
    return s;
  }

  void entries(const Bytes& block, uint32_t n) {
    if (uint64_t(n) * 8 > block.size()) throw Error("form: entry count too large for its block");
    uint32_t base = 8 * n;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t id = get32(block, 4 * i);
      uint32_t off = get32(block, 4 * (n + i));
      if (off > block.size() - base) throw Error("form: entry offset past the block");
      uint32_t len = get32(block, base + off);
      if (len > block.size() - base - off - 4) throw Error("form: entry past the block");
      Bytes p(block.begin() + base + off + 4, block.begin() + base + off + 4 + len);
      unit(id, p);
    }
  }

  void unit(uint32_t id, const Bytes& p) {
    bool menu = fmt::is_menu_item(id);
    fmt::PayloadLayout l;
    if (!fmt::layout_payload(p.data(), static_cast<uint32_t>(p.size()), menu, &l))
      throw Error("form: entry " + hex32(id) + " is malformed");
    auto str = [&](uint32_t at) { return std::string(reinterpret_cast<const char*>(&p[at])); };
    uint32_t type = get32(p, 0), source = get32(p, 4);
    if (menu) {
      line("  menu-item " + hex32(id) + " " + quote(str(l.name)));
      if (type != 0x10003) line("    type " + hex32(type));
    } else {
      line("  unit " + hex32(id) + " " + quote(str(l.name)) + " type " + hex32(type));
    }
    if (!str(l.comment).empty()) line("    comment " + quote(str(l.comment)));
    if (source) line("    event-source " + hex32(source));
    if (menu) {
      uint32_t flags = get32(p, l.place + offsetof(fmt::MenuHead, flags));
      if (flags) line("    flags" + flag_words(flags, true));
      line("    caption " + quote(str(l.tag)));
      line("    handler " + handler_ref(get32(p, l.bindings)));
    } else {
      const uint32_t pl = l.place;
      line("    position " + std::to_string(int32_t(get32(p, pl + 4))) + " " + std::to_string(int32_t(get32(p, pl + 8))) + " " +
           std::to_string(int32_t(get32(p, pl + 12))) + " " + std::to_string(int32_t(get32(p, pl + 16))));
      if (uint32_t parent = get32(p, pl + offsetof(fmt::UnitPlace, parent))) line("    parent " + hex32(parent));
      uint32_t c = get32(p, pl + offsetof(fmt::UnitPlace, child_count));
      if (c) {
        std::string s = "    children";
        for (uint32_t k = 0; k < c; ++k) s += " " + hex32(get32(p, l.children + 4 * k));
        line(s);
      }
      uint32_t m = get32(p, l.cursor);
      if (m) line("    cursor " + hex_literal(Bytes(p.begin() + l.cursor + 4, p.begin() + l.cursor + 4 + m)));
      if (!str(l.tag).empty()) line("    tag " + quote(str(l.tag)));
      uint32_t flags = get32(p, l.state + offsetof(fmt::UnitState, flags));
      if (flags) line("    flags" + flag_words(flags, false));
      if (uint32_t t = get32(p, l.state + offsetof(fmt::UnitState, tab_order))) line("    tab-order " + std::to_string(t));
      for (uint32_t b = 0; b < l.binding_count; ++b)
        line("    on " + std::to_string(int32_t(get32(p, l.bindings + 8 * b))) + " " + handler_ref(get32(p, l.bindings + 8 * b + 4)));
    }
    if (l.own_data < p.size()) line("    data " + hex_literal(Bytes(p.begin() + l.own_data, p.end())));
  }

  ImageView v_;
  std::string& out_;
  std::vector<SectionInfo> sections_;
};

}  // namespace

std::string dump_image(const Bytes& carrier) {
  std::string out;
  Dumper(carrier, out).run();
  return out;
}

}  // namespace vlink
