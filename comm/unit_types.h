// The communication unit types, registered into the core data type table by install().
#pragma once
#include "units/core_units.h"

namespace comm {

extern const units::CoreUnitType kSerialPortUnitType, kServerUnitType, kClientUnitType,
    kDatagramUnitType, kOldDatagramUnitType;

}  // namespace comm
