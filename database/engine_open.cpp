// Opening a database: the path and alias rules, access and sharing, the whole-file lock while
// the files are checked, the "?" password prompt, the auxiliary file and the index files. On
// any failure every file opened so far is closed and nothing is registered.
#include <windows.h>
#include "database/engine.h"
#include "database/indexes.h"
#include "database/lock_retry.h"
#include "database/names.h"
#include "database/password_prompt.h"
#include "database/registry.h"

namespace database {

namespace {

constexpr size_t kMaxIndexes = 10;

AskPassword g_asker = nullptr;
// The password the user gave during the current open: the auxiliary file is keyed with it.
thread_local std::string t_entered;

bool ask_and_remember(int attempts_made, std::string& password) {
  bool ok = g_asker ? g_asker(attempts_made, password) : ask_password_for_open(attempts_made, password);
  if (ok) t_entered = password;
  return ok;
}

}  // namespace

Share share_of(int32_t mode) {
  switch (mode) {
    case 2: return Share::kDenyRead;
    case 3: return Share::kDenyWrite;
    case 4: return Share::kExclusive;
    default: return Share::kAll;
  }
}

void set_password_asker(AskPassword ask) { g_asker = ask; }

Database::Database() = default;

Database::~Database() {
  while (locks_.exclusive_count() > (share_ == 4 ? 1 : 0)) locks_.unlock_database();
  locks_.unlock_all();
  indexes_.clear();
}

// The steps of one open, on a database object that is registered only at the end.
struct Opener {
  const OpenOptions& o;
  Database& db;
  bool write() const { return !o.read_only; }
  Share share() const { return share_of(o.share); }

  int32_t run() {
    if (o.file.empty()) return -3;
    std::string path = full_path_of(with_default_extension(o.file, "VDB"));
    if (path.empty()) return -4;
    for (Database* other : open_databases())
      if (same_name(other->full_path(), path)) return -38;
    if (!o.alias.empty() && !valid_name(o.alias, false)) return -24;
    db.path_ = path;
    db.name_ = file_stem(path);
    db.alias_ = o.alias;
    db.read_only_ = o.read_only;
    db.share_ = (o.share >= 1 && o.share <= 4) ? o.share : 1;

    int32_t rc = open_with_retry(db.file_, path, write(), share());
    if (rc) return rc;
    // Another process must not change the files while they are checked.
    bool whole = db.share_ != 4;
    if (whole && (rc = lock_with_retry(db.file_, 0, kLockSpan, lock_retry_time()))) return rc;
    rc = check_files();
    if (whole) db.file_.unlock(0, kLockSpan);
    if (rc) return rc;
    db.locks_.set_exclusive_open(db.share_ == 4);
    if (db.share_ == 4) {
      // No other handle can reach the files: they are read and written in memory.
      db.file_.map();
      if (db.aux_.is_open()) db.aux_.map();
    }
    db.current_ = 0;
    db.current_index_ = db.indexes_.empty() ? -1 : 0;
    return 0;
  }

  int32_t check_files() {
    t_entered.clear();
    int32_t rc = validate_database(db.file_, write(), o.password, db.layout_, ask_and_remember);
    std::string password = o.password == "?" ? t_entered : o.password;
    SecureZeroMemory(t_entered.data(), t_entered.size());
    t_entered.clear();
    if (rc) return rc;
    if (db.layout_.needs_aux) {
      std::string aux = with_extension(db.path_, "VDT");
      rc = open_with_retry(db.aux_, aux, write(), share());
      if (rc == -12 || rc == -13) return rc;
      if (rc) return -35;
      db.aux_.set_cipher(db.has_password() ? password : std::string(), 4);
      if ((rc = validate_aux(db.aux_, write(), db.layout_.header.version))) return rc;
    }
    SecureZeroMemory(password.data(), password.size());
    return open_indexes();
  }

  int32_t open_indexes() {
    std::vector<std::string> names;
    for (const std::string& n : o.indexes)
      if (!n.empty()) names.push_back(n);
    if (names.size() > kMaxIndexes) return -34;
    for (const std::string& n : names) {
      std::string file = with_default_extension(n, "VNX");
      if (folder_of(file).empty()) file = folder_of(db.path_) + file;
      std::string path = full_path_of(file);
      if (path.empty()) return -30;
      for (const auto& open : db.indexes_)
        if (same_name(open->path, path)) return -33;
      auto index = std::make_unique<OpenIndex>();
      index->path = path;
      index->name = file_stem(path);
      int32_t rc = index->tree.open(path, write(), share(), db.layout_.fields, db.layout_.header.version);
      if (rc) return rc;
      db.indexes_.push_back(std::move(index));
    }
    return 0;
  }
};

int32_t open_database(const OpenOptions& options, Database** out) {
  if (out) *out = nullptr;
  auto db = std::make_unique<Database>();
  int32_t rc = Opener{options, *db}.run();
  if (rc) return rc;  // the object's destructor closes what was opened
  if (out) *out = db.get();
  register_database(std::move(db));
  return 0;
}

}  // namespace database
