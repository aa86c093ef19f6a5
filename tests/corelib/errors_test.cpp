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
    kit::Ending e = kit::run_to_end(kit::bin_dir() + "corelib_probe.exe", c.mode, 1);
    EXPECT_EQ(e.exit_code, static_cast<DWORD>(-1)) << c.mode;
    ASSERT_FALSE(e.dialogs.empty()) << c.mode;
    EXPECT_NE(e.dialogs[0].text.find(c.message), std::string::npos) << c.mode << ": " << e.dialogs[0].text;
  }
}
