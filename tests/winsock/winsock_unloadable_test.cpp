// Lazy Winsock binding with a Winsock the system refuses to load: the probe's first stub call
// ends it with a run-time error naming the module, instead of a jump to nowhere.
//
// Run with Wine's DLL load order marking ws2_32 "disabled" for this process and the programs it
// starts (see CMakeLists.txt): the stub's real LoadLibraryA call then fails, as it would on a
// system whose Winsock is missing or damaged.
#include <gtest/gtest.h>
#include <string>
#include "kit.h"

namespace {

TEST(WinsockUnloadable, FirstCallRaisesTheRunTimeError) {
  kit::Process p(kit::bin_dir() + "ws_probe.exe");
  ASSERT_TRUE(p.started());
  kit::DialogWatcher watcher(p.pid());
  if (!watcher.wait_for(1)) {
    DWORD code = 0;
    p.wait(1000, &code);
    FAIL() << "no dialog; probe exit code " << int(code);
  }
  const auto seen = watcher.seen();
  EXPECT_EQ(seen[0].caption, "错误");
  EXPECT_NE(seen[0].text.find("错误信息：无法载入Windows网络支持库“ws2_32.dll”，网络功能不能使用!"),
            std::string::npos)
      << seen[0].text;
  DWORD code = 0;
  ASSERT_TRUE(p.wait(10000, &code));
  EXPECT_EQ(code, DWORD(-1));
}

}  // namespace
