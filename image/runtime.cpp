// The runtime object (constructed during process initialisation, before program main).
#include "image/runtime.h"

namespace image {

namespace {
Runtime g_runtime;
}

Runtime& rt() { return g_runtime; }

}  // namespace image
