// Calls by name: reading and writing properties and calling methods of an object value, with
// arguments converted by the member's declared parameters and output parameters written back.
#pragma once
#include "com/convert.h"
#include "com/object_value.h"
#include "com/session.h"

namespace com {

// Invokes `name` on the object with the arguments (first argument first; for a write the
// value is the last one) and stores the result converted to `kind` into `r` (the kind's
// empty value on failure). Sets the last object error and returns it.
int invoke_by_name(ObjectValue* o, const char* name, Operation op,
                   const runtime::ArgRecord* args, int argc, ResultKind kind,
                   runtime::ResultRecord* r);

}  // namespace com
