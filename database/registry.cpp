// The process's registry of open databases: opened ones appended and made current, found by
// alias, name or full path, closed with every file and lock they hold.
#include <windows.h>
#include <algorithm>
#include <cstring>
#include "database/engine.h"
#include "database/names.h"
#include "database/registry.h"

namespace database {

namespace {

struct Registry {
  std::vector<std::unique_ptr<Database>> open;  // oldest first
  int32_t current = -1;
};

Registry& registry() {
  static Registry r;
  return r;
}

int32_t position_of(const Database* db) {
  const auto& open = registry().open;
  for (size_t i = 0; i < open.size(); ++i)
    if (open[i].get() == db) return static_cast<int32_t>(i);
  return -1;
}

bool lead_byte(uint8_t c) { return c >= 0x81 && c <= 0xFE; }

// Positions after the last "\" and of the last "." after it (npos: none); multi-byte aware.
void split_name(const std::string& p, size_t* name_at, size_t* dot_at) {
  *name_at = 0;
  *dot_at = std::string::npos;
  for (size_t i = 0; i < p.size(); ++i) {
    uint8_t c = static_cast<uint8_t>(p[i]);
    if (lead_byte(c) && i + 1 < p.size()) {
      ++i;
      continue;
    }
    if (c == '\\' || c == '/' || c == ':') *name_at = i + 1, *dot_at = std::string::npos;
    else if (c == '.') *dot_at = i;
  }
}

}  // namespace

std::string full_path_of(const std::string& path) {
  char buf[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n > MAX_PATH) return std::string();
  return std::string(buf, n);
}

std::string file_stem(const std::string& path) {
  size_t name_at, dot_at;
  split_name(path, &name_at, &dot_at);
  return path.substr(name_at, dot_at == std::string::npos ? std::string::npos : dot_at - name_at);
}

std::string folder_of(const std::string& path) {
  size_t name_at, dot_at;
  split_name(path, &name_at, &dot_at);
  return path.substr(0, name_at);
}

void register_database(std::unique_ptr<Database> db) {
  Registry& r = registry();
  r.open.push_back(std::move(db));
  r.current = static_cast<int32_t>(r.open.size()) - 1;
}

void close_database(Database* db) {
  Registry& r = registry();
  int32_t at = position_of(db);
  if (at < 0) return;
  if (at == r.current) r.current = -1;
  else if (at < r.current) --r.current;
  std::unique_ptr<Database> gone = std::move(r.open[static_cast<size_t>(at)]);
  r.open.erase(r.open.begin() + at);
  // The destructor releases the locks and closes the index, auxiliary and database files.
}

void close_all_databases() {
  while (!registry().open.empty()) close_database(registry().open.back().get());
}

Database* current_database() {
  Registry& r = registry();
  return r.current >= 0 ? r.open[static_cast<size_t>(r.current)].get() : nullptr;
}

void set_current_database(Database* db) { registry().current = position_of(db); }

Database* find_database(const std::string& name) {
  if (name.empty()) return nullptr;
  const auto& open = registry().open;
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if (!(*it)->alias().empty() && same_name((*it)->alias(), name)) return it->get();
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if (same_name((*it)->name(), name)) return it->get();
  for (auto it = open.rbegin(); it != open.rend(); ++it)
    if (same_name((*it)->full_path(), name)) return it->get();
  return nullptr;
}

std::vector<Database*> open_databases() {
  std::vector<Database*> out;
  for (const auto& db : registry().open) out.push_back(db.get());
  return out;
}

bool is_password_protected(const std::string& name_or_file) {
  if (Database* db = find_database(name_or_file)) return db->has_password();
  if (name_or_file.empty()) return false;
  DbFile f;
  if (f.open(with_default_extension(name_or_file, "VDB"), false, Share::kAll)) return false;
  char magic[4];
  return f.read_exact(0, magic, 4, -1) == 0 && std::memcmp(magic, kProtectedMagic, 4) == 0;
}

}  // namespace database
