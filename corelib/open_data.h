// Typed data in open files: values stored one after the other in their exact stored forms,
// with nothing between them and no type or count information.
//   numbers, logical values, date-times, subroutine pointers: their stored bytes, little-endian;
//   text: its bytes and one zero byte (a null text is the zero byte alone);
//   byte set: a 32-bit length and that many bytes (a null byte set is the length 0);
//   array: its elements in row-major order in the forms above.
#pragma once
#include <string>
#include "abi/values.h"
#include "corelib/open_files.h"

namespace corelib::data {

// Appends the stored form of a value (or of the variable a record points to) to `out`; false
// for a type that is not a basic type or an array of one.
bool append_stored(const runtime::ArgRecord& value, std::string* out);

// Reads one value of the variable's type from the file's position into the variable that
// `variable` points to. An array variable keeps its element count and becomes a new
// one-dimensional array. False, with the variable unchanged, for a short read, a record that
// is not a variable, or a type that is not basic; the file position is then undefined.
bool read_into(files::OpenFile* file, const runtime::ArgRecord& variable);

}  // namespace corelib::data
