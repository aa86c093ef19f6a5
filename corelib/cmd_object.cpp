// Object commands: object values, calls by name, picture and font objects, the last object
// error and the object of a unit. Argument records in, the automation layer does the work.
#include "com/graphics.h"
#include "com/invoke.h"
#include "com/last_error.h"
#include "corelib/cmd_support.h"
#include "corelib/commands.h"

namespace corelib {

namespace {

using com::Operation;
using com::ResultKind;

com::ObjectValue* object_at(int argc, ArgRecord* args, int i) {
  return com::object_arg(arg_at(argc, args, i));
}

// (object, name, arguments...): the arguments after the name go to the member.
void by_name(ResultRecord* r, int argc, ArgRecord* args, Operation op, ResultKind kind) {
  com::invoke_by_name(object_at(argc, args, 0), text_of(arg_at(argc, args, 1)), op,
                      argc > 2 ? args + 2 : nullptr, argc > 2 ? argc - 2 : 0, kind, r);
}

}  // namespace

CORELIB_COMMAND(object_assign) {
  com::ObjectValue* from = object_at(argc, args, 1);
  if (!from) return com::set_last_error(com::kBadArgumentType);  // the target stays as it is
  com::assign(object_at(argc, args, 0), from);
}

CORELIB_COMMAND(object_create) {
  const ArgRecord& library = arg_at(argc, args, 2);
  set_bool(result, com::create(object_at(argc, args, 0), text_of(arg_at(argc, args, 1)),
                               library.type == runtime::kTypeText ? text_of(library) : nullptr));
}

CORELIB_COMMAND(object_attach) {
  set_bool(result, com::attach(object_at(argc, args, 0), text_of(arg_at(argc, args, 1))));
}

CORELIB_COMMAND(object_clear) {
  com::ObjectValue* o = object_at(argc, args, 0);
  com::release(o);
  com::set_last_error(o ? com::kOk : com::kBadArgumentType);
}

CORELIB_COMMAND(object_is_empty) {
  com::set_last_error(com::kOk);
  set_bool(result, com::is_empty(object_at(argc, args, 0)));
}

CORELIB_COMMAND(object_same) {
  com::ObjectValue *a = object_at(argc, args, 0), *b = object_at(argc, args, 1);
  if (!a || !b) return com::set_last_error(com::kBadArgumentType);
  set_bool(result, com::same(a, b));
}

CORELIB_COMMAND(object_read_text) { by_name(result, argc, args, Operation::kRead, ResultKind::kText); }
CORELIB_COMMAND(object_read_number) { by_name(result, argc, args, Operation::kRead, ResultKind::kNumber); }
CORELIB_COMMAND(object_read_logical) { by_name(result, argc, args, Operation::kRead, ResultKind::kLogical); }
CORELIB_COMMAND(object_read_date) { by_name(result, argc, args, Operation::kRead, ResultKind::kDate); }
CORELIB_COMMAND(object_read_object) { by_name(result, argc, args, Operation::kRead, ResultKind::kObject); }
CORELIB_COMMAND(object_read_variant) { by_name(result, argc, args, Operation::kRead, ResultKind::kVariant); }

CORELIB_COMMAND(object_write) {
  ResultRecord ignored{};
  by_name(&ignored, argc, args, Operation::kWrite, ResultKind::kNone);
  set_bool(result, com::last_error() == com::kOk);
}

CORELIB_COMMAND(object_call) { by_name(result, argc, args, Operation::kCall, ResultKind::kNone); }
CORELIB_COMMAND(object_call_variant) { by_name(result, argc, args, Operation::kCall, ResultKind::kVariant); }
CORELIB_COMMAND(object_call_text) { by_name(result, argc, args, Operation::kCall, ResultKind::kText); }
CORELIB_COMMAND(object_call_number) { by_name(result, argc, args, Operation::kCall, ResultKind::kNumber); }
CORELIB_COMMAND(object_call_logical) { by_name(result, argc, args, Operation::kCall, ResultKind::kLogical); }
CORELIB_COMMAND(object_call_date) { by_name(result, argc, args, Operation::kCall, ResultKind::kDate); }
CORELIB_COMMAND(object_call_object) { by_name(result, argc, args, Operation::kCall, ResultKind::kObject); }

CORELIB_COMMAND(picture_object) {
  set_bool(result, com::picture_from_data(object_at(argc, args, 0), bin_of(arg_at(argc, args, 1))));
}

CORELIB_COMMAND(font_object) {
  const ArgRecord& font = arg_at(argc, args, 1);
  const auto* record = com::unmarked_type(font.type) == com::kFontType
                           ? reinterpret_cast<const com::FontRecord*>(static_cast<uintptr_t>(font.lo))
                           : nullptr;
  set_bool(result, com::font_from_record(object_at(argc, args, 0), record));
}

CORELIB_COMMAND(picture_object_data) { com::picture_data(object_at(argc, args, 0), result); }
CORELIB_COMMAND(font_object_record) { com::font_record(object_at(argc, args, 0), result); }

CORELIB_COMMAND(object_error_text) { set_text(result, com::last_error_text()); }

CORELIB_COMMAND(object_show_info) { com::show_object_info(object_at(argc, args, 0)); }

CORELIB_COMMAND(unit_object) {
  const ArgRecord& iid = arg_at(argc, args, 2);
  set_bool(result, com::unit_object(object_at(argc, args, 0), arg_at(argc, args, 1),
                                    iid.type == runtime::kTypeText ? text_of(iid) : nullptr));
}

}  // namespace corelib
