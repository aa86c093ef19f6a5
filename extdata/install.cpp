// External data's plug-in: its two unit types in the core data type table.
#include "extdata/extdata.h"

namespace extdata {

void install() {
  units::register_unit_type(kExternalDatabaseUnitType);
  units::register_unit_type(kProviderUnitType);
}

}  // namespace extdata
