// Window template reader: the stored form section into in-memory templates, handler
// relocation and identifier renumbering. Every read is bounded by the section's size.
#include "units/templates.h"
#include <cstring>
#include "abi/format/form_format.h"

namespace units {

namespace fmt = image::format;

namespace {

// Sequential reader over a byte range; every read checks the end first.
class Reader {
 public:
  Reader(const uint8_t* p, uint32_t size) : p_(p), size_(size) {}
  bool u32(uint32_t& v) {
    if (size_ - at_ < 4) return false;
    std::memcpy(&v, p_ + at_, 4);
    at_ += 4;
    return true;
  }
  bool bytes(uint32_t n, std::string& out) {
    if (size_ - at_ < n) return false;
    out.assign(reinterpret_cast<const char*>(p_ + at_), n);
    at_ += n;
    return true;
  }
  bool text(std::string& out) {
    uint32_t n;
    return u32(n) && bytes(n, out);
  }
  bool span(uint32_t n, const uint8_t** out) {
    if (size_ - at_ < n) return false;
    *out = p_ + at_;
    at_ += n;
    return true;
  }
  uint32_t left() const { return size_ - at_; }

 private:
  const uint8_t* p_;
  uint32_t size_;
  uint32_t at_ = 0;
};

uint32_t u32_at(const uint8_t* p, uint32_t at) {
  uint32_t v;
  std::memcpy(&v, p + at, 4);
  return v;
}

std::string string_at(const uint8_t* p, uint32_t at) { return reinterpret_cast<const char*>(p + at); }

// One payload into an Entry; the layout walk has checked every bound.
bool read_entry(uint32_t id, const uint8_t* p, uint32_t size, Entry& e) {
  fmt::PayloadLayout l;
  bool menu = fmt::is_menu_item(id);
  if (!fmt::layout_payload(p, size, menu, &l)) return false;
  e.id = id;
  e.menu_item = menu;
  e.type = u32_at(p, offsetof(fmt::UnitHead, type));
  e.event_source = u32_at(p, offsetof(fmt::UnitHead, event_source));
  for (int i = 0; i < 4; ++i) e.reserved[i] = u32_at(p, offsetof(fmt::UnitHead, reserved) + 4 * i);
  e.name = string_at(p, l.name);
  e.comment = string_at(p, l.comment);
  if (menu) {
    e.reserved2 = u32_at(p, l.place + offsetof(fmt::MenuHead, reserved));
    e.flags = u32_at(p, l.place + offsetof(fmt::MenuHead, flags));
    e.tag = string_at(p, l.tag);
    e.bindings.push_back({0, u32_at(p, l.bindings)});
  } else {
    e.left = static_cast<int32_t>(u32_at(p, l.place + offsetof(fmt::UnitPlace, left)));
    e.top = static_cast<int32_t>(u32_at(p, l.place + offsetof(fmt::UnitPlace, top)));
    e.width = static_cast<int32_t>(u32_at(p, l.place + offsetof(fmt::UnitPlace, width)));
    e.height = static_cast<int32_t>(u32_at(p, l.place + offsetof(fmt::UnitPlace, height)));
    e.parent = u32_at(p, l.place + offsetof(fmt::UnitPlace, parent));
    uint32_t c = u32_at(p, l.place + offsetof(fmt::UnitPlace, child_count));
    for (uint32_t i = 0; i < c; ++i) e.children.push_back(u32_at(p, l.children + 4 * i));
    uint32_t m = u32_at(p, l.cursor);
    e.cursor.assign(reinterpret_cast<const char*>(p + l.cursor + 4), m);
    e.tag = string_at(p, l.tag);
    e.reserved2 = u32_at(p, l.state + offsetof(fmt::UnitState, reserved));
    e.flags = u32_at(p, l.state + offsetof(fmt::UnitState, flags));
    e.tab_order = u32_at(p, l.state + offsetof(fmt::UnitState, tab_order));
    for (uint32_t i = 0; i < l.binding_count; ++i)
      e.bindings.push_back({static_cast<int32_t>(u32_at(p, l.bindings + 8 * i)), u32_at(p, l.bindings + 8 * i + 4)});
    uint32_t tail = l.bindings + 8 * l.binding_count;
    for (int i = 0; i < 5; ++i) e.tail[i] = u32_at(p, tail + 4 * i);
  }
  e.data.assign(reinterpret_cast<const char*>(p + l.own_data), size - l.own_data);
  return true;
}

// The entry block: n keys, n offsets counted from the end of the offsets, then the entries.
bool read_entries(const uint8_t* block, uint32_t size, uint32_t n, WindowTemplate& w) {
  if (n == 0 || n > size / 8) return false;
  uint32_t base = 8 * n;
  w.entries.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t id = u32_at(block, 4 * i);
    uint32_t off = u32_at(block, 4 * (n + i));
    if (off > size - base || size - base - off < 4) return false;
    uint32_t len = u32_at(block, base + off);
    if (len > size - base - off - 4) return false;
    if (!read_entry(id, block + base + off + 4, len, w.entries[i])) return false;
  }
  return true;
}

}  // namespace

bool read_templates(const uint8_t* form, uint32_t size, Templates& out) {
  if (!form) return false;
  Reader r(form, size);
  uint32_t list_bytes;
  if (!r.u32(list_bytes) || list_bytes % 8 || list_bytes > r.left()) return false;
  uint32_t count = list_bytes / 8;
  const uint8_t* list;
  r.span(list_bytes, &list);
  Templates read;
  for (uint32_t i = 0; i < count; ++i) {
    auto w = std::make_unique<WindowTemplate>();
    w->id = u32_at(list, 4 * i);
    uint32_t n, block_size;
    const uint8_t* block;
    if (!r.u32(w->owner) || !r.u32(w->module) || !r.text(w->name) || !r.text(w->comment) || !r.u32(n) ||
        !r.u32(block_size) || !r.span(block_size, &block))
      return false;
    if (!read_entries(block, block_size, n, *w)) return false;
    read.push_back(std::move(w));
  }
  for (auto& w : read) out.push_back(std::move(w));
  return true;
}

void relocate_templates(Templates& templates, uintptr_t code, uint32_t libraries_before) {
  for (auto& w : templates) {
    for (Entry& e : w->entries) {
      for (Binding& b : e.bindings)
        b.handler = b.handler == fmt::kNoHandler ? 0 : static_cast<uint32_t>(code + b.handler);
      uint32_t library = e.type >> 16 & 0xDFFF;  // library part, array bit aside
      if (libraries_before > 0 && library > 1)
        e.type = ((library + libraries_before) << 16) | (e.type & 0xFFFF) | (e.type & 0x20000000);
    }
  }
}

uint32_t mapped_id(const IdPairs& pairs, uint32_t id, uint32_t fallback) {
  for (const auto& [from, to] : pairs)
    if (from == id) return to;
  return fallback;
}

IdPairs renumber_templates(Templates& templates, uint32_t& serial) {
  IdPairs pairs;
  auto fresh = [&](uint32_t& id) {
    uint32_t renewed = fmt::renumbered(id, serial++);
    pairs.emplace_back(id, renewed);
    id = renewed;
  };
  for (auto& w : templates) fresh(w->id);
  for (auto& w : templates)
    for (Entry& e : w->entries) fresh(e.id);
  for (auto& w : templates) {
    for (Entry& e : w->entries) {
      for (uint32_t& c : e.children)
        if (c) c = mapped_id(pairs, c, c);
      if (e.parent) e.parent = mapped_id(pairs, e.parent, e.parent);
      if (e.event_source) e.event_source = mapped_id(pairs, e.event_source, 0);
    }
  }
  return pairs;
}

}  // namespace units
