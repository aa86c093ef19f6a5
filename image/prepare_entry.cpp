// The runtime's own preparation entry: image preparation with the program-wide set-up, the
// library loader and the service table of this runtime.
#include "image/library_loader.h"
#include "image/prepare.h"
#include "image/startup.h"
#include "runtime/services.h"

namespace image {

namespace {
UnitIdRewriter g_rewriter = nullptr;
}

void set_unit_id_rewriter(UnitIdRewriter rewriter) { g_rewriter = rewriter; }

void* prepare(uint8_t* working_copy) {
  install_lifecycle();
  PrepareEnv env{&program_setup, &load_library_entry, runtime::service_table(), g_rewriter};
  return prepare_image(working_copy, env);
}

}  // namespace image
