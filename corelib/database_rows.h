// The rows a database provider unit shows: the records of a database of the engine, and the
// changes it writes back.
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

// Writes one change of the database provider into the database: a cell's text into a field
// (numbers, logicals ("真", "假", 1, 0) and date-times read from the text; texts, memos and
// byte sets as its bytes; a text that is no value of the field's type is refused), a blank
// record appended, or a record marked deleted. False when the database refused it.
bool write_database_edit(const std::string& file, int mode, const std::string& password,
                         const units::TableEdit& edit, int32_t* appended);

}  // namespace corelib
