// Run mode 2 (started by the debugger): the program directory is the current directory, so a
// library found only there, not next to the program, is found by the third attempt.
#include <gtest/gtest.h>
#include <string>
#include "kit.h"
#include "logged_run.h"

namespace {

using libtest::dir;
using libtest::LoggedRun;

TEST(LibraryLoading, LibraryNextToTheProgramDirectoryInRunMode2) {
  const std::string report = dir() + "far_report.txt";
  LoggedRun run(kit::bin_dir() + "testdbg.exe", "\"" + report + "\" \"" + dir() + "far.exe\"",
                dir() + "progdir");
  ASSERT_TRUE(run.process().started());
  EXPECT_EQ(run.exit_code(), 1107u);
  EXPECT_EQ(run.log(), "notify 1 0\nnotify 6 0\n");
  DeleteFileA(report.c_str());
}

}  // namespace
