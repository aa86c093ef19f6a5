// What the database commands share: the database a command works on, field arguments by name
// or number, field values to and from argument records, lists of names given as texts or
// text arrays, and the last error. Every command records its outcome as the thread's last
// database error and answers a neutral result on failure.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "corelib/cmd_support.h"
#include "database/engine.h"

namespace corelib::db {

// The current database; null after recording -67 as the last error.
database::Database* current();
// An open database by name, alias or path; null after recording -66.
database::Database* named(const ArgRecord& name);

// Records `code` as the last error; true for success.
bool done(int32_t code);

// How a command reports a field argument of the wrong kind.
enum class FieldArgs { kInformation, kReadWrite, kQuiet };
// The 0-based field a name (ignoring case) or a 1-based number names; -1 after recording -61
// (-40 for a number out of range). A record of another kind raises the run-time error of
// `kind`, or gives -1 quietly.
int32_t field_of(database::Database& d, const ArgRecord& arg, FieldArgs kind);

// A field value as the result record of its value type (texts and byte sets as new blocks).
void set_value(ResultRecord* r, const database::Value& v);
// The empty value of a field type as a result.
void set_empty(ResultRecord* r, int32_t field_type);
// An argument as a value for a field of `field_type`: numbers convert among the numeric
// types; an omitted argument is the empty value; false for a type that cannot be stored.
bool value_of(const ArgRecord& arg, int32_t field_type, database::Value* out);

// Texts and the elements of text arrays from argument `first` on, in order.
std::vector<std::string> names_from(int argc, ArgRecord* args, int first);

// The raise for an argument of a kind the command does not take.
[[noreturn]] void wrong_argument_type();

}  // namespace corelib::db
