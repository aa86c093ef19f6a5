// The checks made when a database is opened: the database file's header, password and field
// descriptors, its record count against its length (repaired when open for writing), and the
// auxiliary file's header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "database/file.h"
#include "database/format.h"

namespace database {

// What the checks establish about a database file.
struct Layout {
  DbHeader header{};
  std::vector<FieldDescriptor> fields;
  uint32_t data_start = 0;   // offset of record 0
  bool needs_aux = false;    // a memo or byte-set field
};

// Reads and checks the database file, keying its cipher when it is protected. "?" as the
// password counts as none for a plain file; for a protected one it asks the user up to 3
// times, which `ask` does (given the attempts made so far; null: no one to ask, -78).
// 0, -22, -23, -48 or -78.
using AskPassword = bool (*)(int attempts_made, std::string& password);
int32_t validate_database(DbFile& db, bool writable, const std::string& password, Layout& out,
                          AskPassword ask = nullptr);
// Checks the auxiliary file against the database's version: 0, -35, -36 or -37.
int32_t validate_aux(DbFile& aux, bool writable, int32_t version);

}  // namespace database
