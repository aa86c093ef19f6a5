// The example programs as a user meets them: started, shown, and driven through their
// controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "kit.h"

namespace {

namespace drive = kit::drive;

// Control identifiers of countdown.orv's units (the last entry gets 100, each earlier one 10
// more).
constexpr int kStatus = 110, kRemaining = 120, kStart = 130, kMinutes = 160;

bool starts_with(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

}  // namespace

TEST(Countdown, CountsDownRemindsAndStops) {
  kit::Process app{COUNTDOWN_EXE};
  ASSERT_TRUE(app.started());
  HWND window = drive::find_window(app.pid(), "计时提醒");
  ASSERT_TRUE(window);
  HWND status = drive::find_child(window, kStatus), remaining = drive::find_child(window, kRemaining);
  HWND start = drive::find_child(window, kStart), minutes = drive::find_child(window, kMinutes);
  ASSERT_TRUE(status && remaining && start && minutes);
  EXPECT_EQ(drive::text(status), "输入分钟数，按开始。");
  EXPECT_EQ(drive::text(remaining), "25:00");

  // Input that is no number of minutes is refused with a hint.
  drive::set_text(minutes, "abc");
  drive::click(start);
  EXPECT_TRUE(drive::wait_until([&] { return drive::text(status) == "请输入 0 到 1440 之间的分钟数"; }))
      << drive::text(status);
  EXPECT_EQ(drive::text(start), "开始");

  // Three seconds: the end time is shown, the display counts down, the reminder comes.
  drive::set_text(minutes, "0.05");
  drive::click(start);
  EXPECT_TRUE(drive::wait_until([&] { return drive::text(start) == "停止"; }));
  std::string at = drive::text(status);
  EXPECT_TRUE(starts_with(at, "结束于 ") && at.find("秒") != std::string::npos) << at;
  std::string first = drive::text(remaining);
  EXPECT_TRUE(first == "00:03" || first == "00:02") << first;
  // Every value the display shows on its way down, until the reminder comes.
  std::string shown = first;
  EXPECT_TRUE(drive::wait_until([&] {
    std::string now = drive::text(remaining);
    if (now != shown.substr(shown.size() - now.size())) shown += " " + now;
    return drive::text(status) == "时间到：休息一下";
  }, 6000)) << drive::text(status);
  EXPECT_NE(shown.find("00:01 00:00"), std::string::npos) << shown;
  EXPECT_EQ(drive::text(remaining), "00:00");
  EXPECT_EQ(drive::text(start), "开始");
  EXPECT_EQ(drive::text(window), "时间到 - 计时提醒");

  // A running countdown stops on the second press.
  drive::set_text(minutes, "2");
  drive::click(start);
  EXPECT_TRUE(drive::wait_until([&] { return drive::text(remaining) == "02:00"; }));
  EXPECT_EQ(drive::text(window), "计时提醒");
  drive::click(start);
  EXPECT_TRUE(drive::wait_until([&] { return drive::text(status) == "已停止"; }));
  EXPECT_EQ(drive::text(start), "开始");

  drive::post(window, WM_CLOSE);
  DWORD code = kit::kStillRunning;
  EXPECT_TRUE(app.wait(10000, &code));
  EXPECT_EQ(code, 0u);
}
