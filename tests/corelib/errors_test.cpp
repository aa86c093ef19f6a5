// The commands' run-time errors end the program: each runs in the probe, whose dialog is read.
#include <gtest/gtest.h>
#include <windows.h>
#include "kit.h"

TEST(CoreCommandErrors, EachShowsItsMessageAndEndsWithMinusOne) {
  struct Case {
    const char* mode;
    std::string message;
  } cases[] = {
      {"divide", "错误信息：不能整除于零"},
      {"remainder", "错误信息：不能求余数于零"},
      {"bin-kind-0", "错误信息：“欲取出数据的类型”参数值无效"},
      {"bin-kind-11", "错误信息：“欲取出数据的类型”参数值无效"},
  };
  for (const auto& c : cases) {
    kit::Process probe(kit::bin_dir() + "corelib_probe.exe", c.mode);
    ASSERT_TRUE(probe.started());
    kit::DialogWatcher watcher(probe.pid());
    ASSERT_TRUE(watcher.wait_for(1)) << c.mode;
    DWORD code = 0;
    EXPECT_TRUE(probe.wait(10000, &code)) << c.mode;
    EXPECT_EQ(code, static_cast<DWORD>(-1)) << c.mode;
    auto seen = watcher.seen();
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(seen[0].text.find(c.message), std::string::npos) << c.mode << ": " << seen[0].text;
  }
}
