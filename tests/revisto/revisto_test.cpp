// The refresh tool end to end: the real Revisto.exe under Wine, driven from this process,
// against a local HTTP server that records every request with its time.
#include <gtest/gtest.h>
#include "http_server.h"
#include "kit.h"
#include <shellapi.h>

namespace {

// Control identifiers the loader gives the units (100, 110, ... from the last entry back).
constexpr int kButton = 110, kAutoClose = 130, kDone = 140, kInterval = 170, kTarget = 190,
              kAddress = 210;

class Revisto : public ::testing::Test {
 protected:
  kit::HttpServer server;
  kit::Process app{REVISTO_EXE};
  HWND window = nullptr;

  void SetUp() override {
    ASSERT_TRUE(app.started());
    window = kit::drive::find_window(app.pid(), "", "KelWindow", 15000);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(kit::drive::wait_until([&] { return kit::drive::visible(window); }));
  }
  HWND unit(int id) {
    HWND h = GetDlgItem(window, id);
    EXPECT_NE(h, nullptr) << "control " << id;
    return h;
  }
  void set(int id, const std::string& text) { kit::drive::set_text(unit(id), text); }
  std::string text(int id) { return kit::drive::text(unit(id)); }
  // Waits until the "已刷" box shows `count`; false after `ms`.
  bool wait_count(const std::string& count, DWORD ms) {
    return kit::drive::wait_until([&] { return text(kDone) == count; }, ms);
  }
  void start(const std::string& interval, const std::string& target, bool auto_close) {
    set(kAddress, server.url("/page?q=1"));
    set(kInterval, interval);
    set(kTarget, target);
    if (auto_close) kit::drive::send(unit(kAutoClose), BM_CLICK);
    kit::drive::send(unit(kButton), BM_CLICK);
  }
  static bool tray_icon_exists(HWND w) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = w;
    nid.uID = 100;
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
  }
};

TEST_F(Revisto, TheTemplateShowsItsWindow) {
  std::string title = kit::drive::text(window);
  EXPECT_EQ(title.rfind("淘宝.拍拍.有啊宝贝Revisto1.0 Tinloft ", 0), 0u) << title;
  EXPECT_EQ(text(kTarget), "100");
  EXPECT_EQ(text(kInterval), "3");
  EXPECT_EQ(text(kDone), "");
  EXPECT_EQ(kit::drive::text(unit(kButton)), "开启刷新");
  EXPECT_EQ(kit::drive::text(unit(kAutoClose)), "达到目标自动关闭");
  EXPECT_EQ(kit::drive::check_state(unit(kAutoClose)), BST_UNCHECKED);
  RECT rc;
  GetWindowRect(window, &rc);
  EXPECT_EQ(rc.right - rc.left, 560);
  EXPECT_EQ(rc.bottom - rc.top, 436);
  kit::screenshot().save_png(kit::bin_dir() + "revisto_window.png");
}

TEST_F(Revisto, CountsTicksAndEndsPastTheTarget) {
  start("1", "3", true);
  EXPECT_TRUE(kit::drive::wait_until([&] { return !kit::drive::enabled(unit(kButton)); }, 500));
  for (const char* c : {"1", "2", "3"}) EXPECT_TRUE(wait_count(c, 3000)) << "count " << c;
  DWORD code = 0;
  ASSERT_TRUE(app.wait(8000, &code));
  DWORD end = GetTickCount();
  EXPECT_EQ(code, 0u);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  for (size_t i = 1; i < requests.size(); ++i) {
    DWORD gap = requests[i].tick - requests[i - 1].tick;
    EXPECT_GE(gap, 800u) << i;
    EXPECT_LE(gap, 1500u) << i;
  }
  EXPECT_EQ(requests[0].path, "/page?q=1");
  EXPECT_LE(end - requests[3].tick, 2000u);
}

TEST_F(Revisto, WithoutAutoCloseItKeepsCounting) {
  start("1", "3", false);
  ASSERT_TRUE(kit::drive::wait_until([&] { return server.count() >= 5; }, 8000));
  EXPECT_TRUE(app.running());
  EXPECT_TRUE(wait_count("5", 1500));
}

TEST_F(Revisto, IntervalTextIsReadAsItsLeadingInteger) {
  start("2.5", "100", false);
  ASSERT_TRUE(kit::drive::wait_until([&] { return server.count() >= 2; }, 8000));
  auto r = server.requests();
  DWORD gap = r[1].tick - r[0].tick;
  EXPECT_GE(gap, 1800u);
  EXPECT_LE(gap, 2600u);
}

TEST_F(Revisto, NonNumericIntervalGivesNoTicksAndADisabledButton) {
  start("abc", "100", false);
  Sleep(6000);
  EXPECT_EQ(server.count(), 0u);
  EXPECT_FALSE(kit::drive::enabled(unit(kButton)));
  EXPECT_EQ(text(kDone), "");
}

TEST_F(Revisto, AnAddressEditedBetweenTicksIsUsedFromTheNextTick) {
  start("1", "100", false);
  ASSERT_TRUE(kit::drive::wait_until([&] { return server.count() >= 1; }, 4000));
  set(kAddress, server.url("/other"));
  ASSERT_TRUE(kit::drive::wait_until([&] { return server.count() >= 3; }, 5000));
  auto r = server.requests();
  EXPECT_EQ(r[0].path, "/page?q=1");
  EXPECT_EQ(r.back().path, "/other");
}

TEST_F(Revisto, MinimisingHidesBehindTheTrayIconAndTheIconBringsItBack) {
  EXPECT_FALSE(tray_icon_exists(window));
  kit::drive::post(window, WM_SYSCOMMAND, SC_MINIMIZE);
  ASSERT_TRUE(kit::drive::wait_until([&] { return !kit::drive::visible(window); }));
  ASSERT_TRUE(kit::drive::wait_until([&] { return tray_icon_exists(window); }));
  kit::drive::post(window, 0x8064, 100, WM_LBUTTONUP);
  ASSERT_TRUE(kit::drive::wait_until([&] { return kit::drive::visible(window); }));
  EXPECT_TRUE(IsIconic(window));
  EXPECT_TRUE(tray_icon_exists(window));  // the icon stays
  kit::drive::post(window, WM_SYSCOMMAND, SC_RESTORE);
  ASSERT_TRUE(kit::drive::wait_until([&] { return !IsIconic(window); }));
  kit::drive::post(window, WM_SYSCOMMAND, SC_MINIMIZE);  // the same icon is used again
  ASSERT_TRUE(kit::drive::wait_until([&] { return !kit::drive::visible(window); }));
  EXPECT_TRUE(tray_icon_exists(window));
}

TEST_F(Revisto, EscapeClosesTheWindow) {
  SetForegroundWindow(window);
  kit::drive::wait_until([&] { return GetForegroundWindow() == window; }, 2000);
  kit::drive::press_keys({VK_ESCAPE});
  DWORD code = 1;
  ASSERT_TRUE(app.wait(5000, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
