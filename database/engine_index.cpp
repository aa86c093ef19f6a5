// The indexes of an open database: creating one over the records, naming and choosing the
// current one, rebuilding, and keyed search.
#include <algorithm>
#include <new>
#include "database/engine.h"
#include "database/indexes.h"
#include "database/names.h"
#include "database/registry.h"
#include "database/values.h"

namespace database {

namespace {

constexpr size_t kMaxIndexes = 10;

}  // namespace

namespace {
const std::string kNoName;
}  // namespace

const std::string& Database::index_name(int32_t i) const {
  return i >= 0 && i < index_count() ? indexes_[static_cast<size_t>(i)]->name : kNoName;
}

const std::string& Database::index_path(int32_t i) const {
  return i >= 0 && i < index_count() ? indexes_[static_cast<size_t>(i)]->path : kNoName;
}

std::vector<std::string> Database::index_fields(int32_t i) const {
  std::vector<std::string> out;
  if (i < 0 || i >= index_count()) return out;
  const IndexKey& k = indexes_[static_cast<size_t>(i)]->tree.key();
  for (int32_t p = 0; p < k.shape.count; ++p) out.push_back(field_name(k.fields[p]));
  return out;
}

int32_t Database::create_index(const IndexSpec& spec) {
  if (!file_.is_open()) return -27;
  if (indexes_.size() >= kMaxIndexes) return -34;
  if (spec.file.empty()) return -3;
  if (spec.fields.size() > static_cast<size_t>(kMaxKeyParts)) return -39;
  IndexDef def;
  int32_t rc = resolve_key_fields(layout_.fields, spec.fields, &def.fields);
  if (rc) return rc;
  def.sort_mode = (spec.sort_mode == 1 || spec.sort_mode == 2) ? spec.sort_mode : 0;
  def.key_flags = spec.key_flags & 3;
  def.page_factor = std::clamp(spec.page_factor, 1, 100);
  std::string file = with_default_extension(spec.file, "VNX");
  if (folder_of(file).empty()) file = folder_of(path_) + file;
  std::string path = full_path_of(file);
  if (path.empty()) return -41;
  for (const auto& open : indexes_)
    if (same_name(open->path, path)) return -33;

  if (lock_database()) return -28;
  try {
    auto index = std::make_unique<OpenIndex>();
    index->path = path;
    index->name = file_stem(path);
    RecordSource records;
    rc = records_in_file(file_, layout_.data_start, record_length(), &records);
    // Made under the database's own sharing: held exclusively, the new index needs no lock
    // per operation from the start, as one opened with the database does.
    if (rc == 0) rc = index->tree.create(path, layout_.fields, layout_.header.version, def, records, share_of(share_));
    if (rc == 0) {
      // No other process can reach the index through this database while it is held
      // exclusively: its pages may stay cached between operations.
      index->tree.set_keep_cache(share_ == 4);
      indexes_.push_back(std::move(index));
      current_index_ = static_cast<int32_t>(indexes_.size()) - 1;
    }
  } catch (const std::bad_alloc&) {
    rc = -41;
  }
  unlock_database();
  return rc;
}

int32_t Database::set_current_index(const std::string& name) {
  for (size_t i = 0; i < indexes_.size(); ++i)
    if (same_name(indexes_[i]->name, name)) {
      current_index_ = static_cast<int32_t>(i);
      return 0;
    }
  return -68;
}

int32_t Database::reindex() {
  if (!file_.is_open()) return -27;
  if (current_index_ < 0) return -69;
  if (lock_database()) return -28;
  RecordSource records;
  int32_t rc = records_in_file(file_, layout_.data_start, record_length(), &records);
  if (rc == 0) rc = indexes_[static_cast<size_t>(current_index_)]->tree.rebuild(records);
  unlock_database();
  return rc;
}

int32_t Database::rebuild_indexes() {
  if (indexes_.empty()) return 0;
  if (lock_database()) return -28;
  RecordSource records;
  int32_t rc = records_in_file(file_, layout_.data_start, record_length(), &records);
  for (const auto& index : indexes_)
    if (rc == 0) rc = index->tree.rebuild(records);
  unlock_database();
  return rc;
}

int32_t Database::seek(const std::vector<Value>& values, bool* found) {
  *found = false;
  if (!file_.is_open()) return -27;
  if (current_index_ < 0) return -69;
  IndexTree& tree = indexes_[static_cast<size_t>(current_index_)]->tree;
  const IndexKey& k = tree.key();
  if (values.size() != static_cast<size_t>(k.shape.count)) return -73;
  std::string key;
  for (int32_t p = 0; p < k.shape.count; ++p) {
    std::string part;
    if (int32_t rc = stored_from_value(field(k.fields[p]), values[static_cast<size_t>(p)], part)) return rc;
    key += part;
  }
  if (key.size() != static_cast<size_t>(k.key_length)) return -64;
  int32_t rc = count_lock();
  if (rc) return rc;
  int32_t record = -1;
  rc = tree.find(reinterpret_cast<const uint8_t*>(key.data()), std::max(current_, 0), &record);
  count_unlock();
  if (rc == -57) rc = 0;  // past the last entry: not found
  if (rc == 0 && record >= 0) {
    current_ = record;
    *found = true;
  }
  return rc;
}

}  // namespace database
