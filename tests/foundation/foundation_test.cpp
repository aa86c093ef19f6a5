// The build's own promises: GBK texts, the platform C runtime's formatting, threads, and the
// test kit proven on a real Win32 program.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include "kit.h"
#include "runtime/crt.h"

TEST(Build, QuotedTextsAreGbkBytes) {
  // "运行时出错!" and "错误" as GBK: the bytes iconv gives on the host.
  const unsigned char want[] = {0xD4, 0xCB, 0xD0, 0xD0, 0xCA, 0xB1, 0xB3, 0xF6, 0xB4, 0xED, 0x21, 0};
  EXPECT_STREQ("运行时出错!", reinterpret_cast<const char*>(want));
  EXPECT_EQ(std::string("错误"), std::string("\xB4\xED\xCE\xF3"));
  EXPECT_EQ(GetACP(), 936u);
}

TEST(Build, FormattingIsThePlatformRuntimes) {
  char buf[64];
  struct Case { const char* fmt; double v; const char* want; } cases[] = {
      {"%.13g", 1e20, "1e+020"},
      {"%.13g", 101.0, "101"},
      {"%.6g", 1.5e-7, "1.5e-007"},
      {"%g", 0.1, "0.1"},
  };
  for (const auto& c : cases) {
    runtime::crt_snprintf(buf, sizeof buf, c.fmt, c.v);
    EXPECT_STREQ(buf, c.want) << c.fmt;
    EXPECT_EQ(runtime::crt_format(c.fmt, c.v), c.want);
  }
  // Cut to the buffer, always terminated.
  EXPECT_EQ(runtime::crt_snprintf(buf, 4, "%d", 123456), 3);
  EXPECT_STREQ(buf, "123");
}

TEST(Build, ThreadsAndMutexesWork) {
  std::mutex m;
  int count = 0;
  std::thread a([&] { for (int i = 0; i < 1000; ++i) { std::lock_guard<std::mutex> l(m); ++count; } });
  std::thread b([&] { for (int i = 0; i < 1000; ++i) { std::lock_guard<std::mutex> l(m); ++count; } });
  a.join();
  b.join();
  EXPECT_EQ(count, 2000);
}

class KitSample : public ::testing::Test {
 protected:
  kit::Process app{kit::bin_dir() + "kit_sample.exe"};
  HWND window = nullptr;
  void SetUp() override {
    ASSERT_TRUE(app.started());
    window = kit::drive::find_window(app.pid(), "样例窗口", "KitSample");
    ASSERT_NE(window, nullptr);
  }
};

TEST_F(KitSample, DriverTypesClicksAndWatcherReadsChineseMessageBox) {
  kit::DialogWatcher watcher(app.pid(), IDCANCEL);
  HWND edit = kit::drive::find_child(window, 101);
  HWND button = kit::drive::find_child(window, "Button", "显示");
  ASSERT_NE(edit, nullptr);
  ASSERT_EQ(button, kit::drive::find_child(window, 100));
  kit::drive::set_text(edit, "中文输入");
  EXPECT_EQ(kit::drive::text(edit), "中文输入");
  EXPECT_TRUE(kit::drive::enabled(button));
  EXPECT_TRUE(kit::drive::visible(window));
  kit::drive::click(button);
  ASSERT_TRUE(watcher.wait_for(1));
  auto seen = watcher.seen();
  EXPECT_EQ(seen[0].caption, "提示");
  EXPECT_EQ(seen[0].text, "内容：中文输入");
  DWORD code = 0;
  ASSERT_TRUE(app.wait(5000, &code));
  EXPECT_EQ(code, 40u + IDCANCEL);
}

TEST_F(KitSample, ScreenshotShowsTheRedClientArea) {
  RECT rc;
  ASSERT_TRUE(GetClientRect(window, &rc));
  POINT centre{rc.right / 2, rc.bottom * 3 / 4};
  ClientToScreen(window, &centre);
  kit::Shot shot;
  ASSERT_TRUE(kit::drive::wait_until([&] {
    shot = kit::screenshot();
    return shot.width > centre.x && shot.height > centre.y && shot.at(centre.x, centre.y) == 0xFF0000;
  }));
  std::string png = kit::bin_dir() + "kit_sample.png";
  ASSERT_TRUE(shot.save_png(png));
  FILE* f = std::fopen(png.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char sig[8] = {};
  EXPECT_EQ(std::fread(sig, 1, 8, f), 8u);
  std::fclose(f);
  EXPECT_EQ(std::memcmp(sig, "\x89PNG\r\n\x1a\n", 8), 0);
}
