// Finding providers, data sources and bound units of a window by name.
#include "units/data_binding.h"
#include <cstdlib>
#include "units/framework.h"

namespace units {

namespace {

constexpr uint32_t kProviderType = 0x40000;  // type flag of the data provider types

// The live unit of the entry named `name` in the window of `from`, and its type's flags.
Unit* named_unit(const Unit& from, const std::string& name, uint32_t* flags) {
  if (name.empty()) return nullptr;
  WindowTemplate* w = find_window(from.window_id());
  if (!w) return nullptr;
  for (Entry& e : w->entries) {
    if (e.menu_item || e.name != name) continue;
    Unit* u = live_unit(e);
    if (!u) continue;
    const UnitTypeEntry* t = find_type(e.type);
    if (flags) *flags = t ? t->flags : 0;
    return u;
  }
  return nullptr;
}

}  // namespace

int DataSourceOps::column_of(const std::string& name) {
  int n = columns();
  for (int c = 0; c < n; ++c)
    if (column_name(c) == name) return c;
  char* end = nullptr;
  long number = name.empty() ? 0 : std::strtol(name.c_str(), &end, 10);
  return end && *end == 0 && number >= 1 && number <= n ? int(number - 1) : -1;
}

DataProvider* find_provider(const Unit& from, const std::string& name) {
  uint32_t flags = 0;
  Unit* u = named_unit(from, name, &flags);
  return u && (flags & kProviderType) ? dynamic_cast<DataProvider*>(u) : nullptr;
}

DataSourceOps* find_data_source(const Unit& from, const std::string& name) {
  return dynamic_cast<DataSourceOps*>(named_unit(from, name, nullptr));
}

std::string unit_name(const Unit& u) {
  WindowTemplate* w = find_window(u.window_id());
  Entry* e = w ? find_entry(*w, u.unit_id()) : nullptr;
  return e ? e->name : std::string();
}

void notify_bound(const Unit& from, const std::string& source) {
  WindowTemplate* w = find_window(from.window_id());
  if (!w || source.empty()) return;
  // Collect first: a bound unit's reaction may re-create units and change the entry list.
  std::vector<uint32_t> bound;
  for (Entry& e : w->entries)
    if (auto* b = dynamic_cast<DataBound*>(live_unit(e)); b && b->data_source() == source)
      bound.push_back(e.id);
  for (uint32_t id : bound) {
    Entry* e = find_entry(*w, id);
    if (auto* b = e ? dynamic_cast<DataBound*>(live_unit(*e)) : nullptr) b->data_changed();
  }
}

void provider_changed(const Unit& provider) {
  WindowTemplate* w = find_window(provider.window_id());
  std::string name = unit_name(provider);
  if (!w || name.empty()) return;
  std::vector<std::string> sources;
  for (Entry& e : w->entries)
    if (auto* s = dynamic_cast<DataSourceOps*>(live_unit(e)); s && s->provider_name() == name)
      sources.push_back(e.name);
  for (const std::string& s : sources) notify_bound(provider, s);
}

namespace {
TableReader g_table_reader = nullptr;
}  // namespace

void set_table_reader(TableReader reader) { g_table_reader = reader; }
TableReader table_reader() { return g_table_reader; }

namespace {
TableWriter g_table_writer = nullptr;
}  // namespace

void set_table_writer(TableWriter writer) { g_table_writer = writer; }
TableWriter table_writer() { return g_table_writer; }

bool bound_value(const Unit& from, const std::string& source, const std::string& column,
                 std::string& out) {
  DataSourceOps* s = find_data_source(from, source);
  if (!s) return false;
  int c = s->column_of(column);
  int r = s->current_row();
  return c >= 0 && r >= 0 && s->cell(r, c, out);
}

}  // namespace units
