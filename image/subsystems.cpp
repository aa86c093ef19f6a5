// The one table of subsystems: each installs its notification answers, service hooks, unit
// types and clean-up, in layer order. The only place that names other folders' installers.
#include "runtime/registry.h"
#include "com/ole.h"
#include "corelib/install.h"
#include "media/playback.h"
#include "extdata/extdata.h"
#include "units/framework.h"

namespace runtime {

void install_subsystems() {
  units::install();
  media::install();
  com::install();
  extdata::install();
  corelib::install();
}

}  // namespace runtime
