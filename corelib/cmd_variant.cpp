// Variant commands: copy, clear, set with a kind, the kind, reading as the system's types,
// and automation arrays. Argument records in, the automation layer does the work.
#include <vector>
#include "com/last_error.h"
#include "com/object_value.h"
#include "com/variant_ops.h"
#include "corelib/cmd_support.h"
#include "corelib/commands.h"

namespace corelib {

namespace {

VARIANT* variant_at(int argc, ArgRecord* args, int i) { return com::variant_arg(arg_at(argc, args, i)); }

// Integer arguments from `first` on (array indexes or sizes).
std::vector<int32_t> ints_from(int argc, ArgRecord* args, int first) {
  std::vector<int32_t> v;
  for (int i = first; i < argc; ++i) v.push_back(num_int(args[i]));
  return v;
}

}  // namespace

CORELIB_COMMAND(variant_copy) { com::copy_variant(variant_at(argc, args, 0), variant_at(argc, args, 1)); }
CORELIB_COMMAND(variant_clear) { com::clear_variant(variant_at(argc, args, 0)); }

CORELIB_COMMAND(variant_set) {
  set_bool(result, com::set_variant(variant_at(argc, args, 0), arg_at(argc, args, 1),
                                    int_or(argc, args, 2, -1)));
}

CORELIB_COMMAND(variant_kind) { set_int(result, com::kind_of(variant_at(argc, args, 0))); }

namespace {
void read_as(ResultRecord* r, int argc, ArgRecord* args, com::ResultKind kind) {
  com::read_variant(variant_at(argc, args, 0), kind, r);
}
}  // namespace

CORELIB_COMMAND(variant_as_text) { read_as(result, argc, args, com::ResultKind::kText); }
CORELIB_COMMAND(variant_as_number) { read_as(result, argc, args, com::ResultKind::kNumber); }
CORELIB_COMMAND(variant_as_logical) { read_as(result, argc, args, com::ResultKind::kLogical); }
CORELIB_COMMAND(variant_as_date) { read_as(result, argc, args, com::ResultKind::kDate); }
CORELIB_COMMAND(variant_as_object) { read_as(result, argc, args, com::ResultKind::kObject); }

CORELIB_COMMAND(variant_as_array) {
  com::read_array(variant_at(argc, args, 0), static_cast<uint32_t>(int_or(argc, args, 1, 0)), result);
}

CORELIB_COMMAND(variant_as_bytes) { com::read_bytes(variant_at(argc, args, 0), result); }

CORELIB_COMMAND(variant_create_array) {
  std::vector<int32_t> sizes = ints_from(argc, args, 2);
  set_bool(result, com::create_array(variant_at(argc, args, 0), int_or(argc, args, 1, -1),
                                     sizes.data(), static_cast<int>(sizes.size())));
}

CORELIB_COMMAND(variant_dimensions) { set_int(result, com::dimension_count(variant_at(argc, args, 0))); }

CORELIB_COMMAND(variant_bound) {
  set_int(result, com::bound(variant_at(argc, args, 0), int_or(argc, args, 1, 1),
                             bool_or(argc, args, 2, false)));
}

CORELIB_COMMAND(variant_element) {
  std::vector<int32_t> index = ints_from(argc, args, 1);
  com::get_element(variant_at(argc, args, 0), index.data(), static_cast<int>(index.size()), result);
}

CORELIB_COMMAND(variant_set_element) {
  std::vector<int32_t> index = ints_from(argc, args, 2);
  set_bool(result, com::set_element(variant_at(argc, args, 0), arg_at(argc, args, 1), index.data(),
                                    static_cast<int>(index.size())));
}

}  // namespace corelib
