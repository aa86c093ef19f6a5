// The database engine's plug-ins: its clean-up at shutdown.
#include "database/install.h"
#include "database/engine.h"
#include "runtime/registry.h"

namespace database {

void install() { runtime::register_cleanup(runtime::CleanupStage::kBeforeWindows, &close_all_databases); }

}  // namespace database
