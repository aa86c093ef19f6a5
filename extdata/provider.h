// The provider module ("sqlbridge.vsx" in the executable's folder), loaded on the first
// lookup; every function is looked up by name at the moment of its call. A module that
// cannot be loaded is not tried again: every later lookup fails at once.
#pragma once
#include "abi/sqlbridge.h"

namespace extdata {

// The provider's exported function `name`, or null (no module, or the module lacks it).
void* provider_function(const char* name);

template <typename Fn>
Fn provider(const char* name) {
  return reinterpret_cast<Fn>(provider_function(name));
}

}  // namespace extdata
