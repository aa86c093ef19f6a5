// Consistency check of an open index file, for the tests and the database tool: the order of
// all entries, separators equal to the greatest key below them, every leaf at one depth, the
// fill of every page, the free page list, every page accounted for, the file not shorter
// than its page count, and (given the records) each record indexed once under its own key.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "database/index_tree.h"

namespace database {

struct IndexFault {
  int32_t page = 0;    // 0: the header or the file as a whole
  int32_t entry = -1;  // entry in the page, -1: the page as a whole
  std::string what;    // ASCII, for people
};

struct IndexReport {
  std::vector<IndexFault> faults;  // at most kMaxFaults
  int32_t entries = 0;
  int32_t leaves = 0;
  int32_t branches = 0;
  int32_t height = 0;      // levels, the leaves included
  int32_t free_pages = 0;  // pages found on the free list
  bool ok() const { return faults.empty(); }
  static constexpr size_t kMaxFaults = 200;
};

// Reads the whole file under the index lock. `record_count` < 0 skips the record range check;
// `records` (optional) gives the records whose keys the entries must match. Returns 0 when
// the check ran (faults are in the report), or the error that stopped it.
int32_t check_index(IndexTree& tree, int32_t record_count, const RecordSource* records, IndexReport* report);

}  // namespace database
