// External data access as the rest of the runtime sees it: installing the two unit types,
// and the live state behind a unit reference for the core library's unit methods.
#pragma once
#include <cstdint>
#include "extdata/database.h"
#include "extdata/provider_table.h"
#include "units/core_units.h"

namespace extdata {

// Registers the external database (46) and database provider (47) unit types.
void install();

// The state of a live external database unit, or null when the reference names none (window
// not loaded, unit missing or of another type).
Database* database_of(uint32_t window, uint32_t unit);
// The table of a live database provider unit, or null.
ProviderTable* provider_table_of(uint32_t window, uint32_t unit);

extern const units::CoreUnitType kExternalDatabaseUnitType, kProviderUnitType;

}  // namespace extdata
