// The rows a database provider unit shows: the records of a database of the engine.
#pragma once
#include <string>
#include "units/data_binding.h"

namespace corelib {

// Every record of the database `file` that is not deleted, each field as the to-text command
// shows its value (texts, memos and byte sets as their bytes). Open mode 2 opens it
// exclusively for the read; the program's current database stays the current one. False when
// the database cannot be opened (missing, wrong password, already open by the program).
bool read_database_rows(const std::string& file, int mode, const std::string& password,
                        units::TableRows& out);

}  // namespace corelib
