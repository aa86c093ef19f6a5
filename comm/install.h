// The communication subsystem's plug-in: its unit types, the Winsock functions it is handed,
// and the clean-up of the name lookups' Winsock start.
#pragma once
#include "comm/winsock_api.h"

namespace comm {

void install(const WinsockApi& winsock);

}  // namespace comm
