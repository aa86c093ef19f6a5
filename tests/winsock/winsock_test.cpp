// Lazy Winsock binding: bound on the first call in a probe program.
#include <gtest/gtest.h>
#include <string>
#include "kit.h"

namespace {

std::string probe() { return kit::bin_dir() + "ws_probe.exe"; }

TEST(Winsock, AbsentBeforeTheFirstCallAndBoundAfterIt) {
  // The probe's exit code names the check that failed (see ws_probe.cpp); 0 = all held.
  EXPECT_EQ(kit::run(probe()), 0u);
}

}  // namespace
