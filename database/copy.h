// Copying a database into a new one: the structure with chosen fields (the source's magic,
// password digest and cipher state), then records one by one, renumbered 1, 2, 3, ... and
// keeping their deleted mark, with memo and byte-set values copied into new chains.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "database/engine.h"

namespace database {

class CopyWriter {
 public:
  CopyWriter() = default;
  // A copy that did not finish is removed: no half-written database is left behind.
  ~CopyWriter();
  CopyWriter(const CopyWriter&) = delete;
  CopyWriter& operator=(const CopyWriter&) = delete;

  // Creates the new files (".VDB" appended to `file` when it has no extension; it must not
  // exist) with the fields of `from` numbered in `fields` (0-based), in that order.
  int32_t create(Database& from, const std::string& file, const std::vector<int32_t>& fields);
  // Adds the current record of `from` (during a scan, the record being visited).
  int32_t add_current();
  // Writes the records still buffered, the header's count and next serial, and enciphers the
  // files as the source's are. The files are closed afterwards.
  int32_t finish();

 private:
  int32_t write_buffered();

  Database* from_ = nullptr;
  std::string db_path_, aux_path_;  // the files made, until the copy is finished
  bool finished_ = false;
  DbFile db_, aux_;
  std::vector<int32_t> fields_;
  std::vector<FieldDescriptor> descriptors_;  // of the new file
  uint32_t data_start_ = 0;
  int32_t record_length_ = 0;
  int32_t written_ = 0;   // records in the file
  std::string pending_;   // records not yet written
  int32_t pending_count_ = 0;
};

}  // namespace database
