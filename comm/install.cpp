// Registers the serial port and socket unit types and the shutdown clean-up.
#include "comm/install.h"
#include "comm/sockets.h"
#include "comm/unit_types.h"
#include "runtime/registry.h"

namespace comm {

namespace {

WinsockApi g_winsock{};

}  // namespace

const WinsockApi& ws() { return g_winsock; }

void install(const WinsockApi& winsock) {
  g_winsock = winsock;
  for (const units::CoreUnitType* t : {&kOldDatagramUnitType, &kDatagramUnitType,
                                       &kClientUnitType, &kServerUnitType, &kSerialPortUnitType})
    units::register_unit_type(*t);
  runtime::register_cleanup(runtime::CleanupStage::kCommunication, &stop_lookups);
}

}  // namespace comm
