// Windows and units: a program linked by the image linker loads a window holding every unit
// type of the window system; its handlers note what they see; the test works the window with
// real input and checks the live windows, the notes and the screen.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <algorithm>
#include <climits>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "kit.h"
#include "units/window_unit.h"

namespace {

constexpr char kTitle[] = "单元测试窗口";

// Control identifiers follow creation order: the units from the last entry back to entry 1.
enum : int {
  kPlaceholder = 100, kTimer2 = 110, kTimer1 = 120, kButton2 = 130, kCheck = 140,
  kButton1 = 150, kEditMulti = 160, kEditDigits = 170, kEdit1 = 180, kLabel = 190,
};

// The notes file of one run and the program under test.
class ProgramRun {
 public:
  explicit ProgramRun(int mode) {
    log_ = kit::bin_dir() + "units_notes_" + std::to_string(mode) + ".txt";
    DeleteFileA(log_.c_str());
    SetEnvironmentVariableA("ORVEL_UNITS_LOG", log_.c_str());
    SetEnvironmentVariableA("ORVEL_UNITS_MODE", std::to_string(mode).c_str());
    process_ = std::make_unique<kit::Process>(kit::bin_dir() + "units_prog.exe");
  }
  kit::Process& process() { return *process_; }
  HWND window(DWORD ms = 15000) { return kit::drive::find_window(process_->pid(), kTitle, "", ms); }

  std::vector<std::string> notes() const {
    std::ifstream in(log_, std::ios::binary);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  int count(const std::string& key) const {
    int n = 0;
    for (const std::string& l : notes())
      if (l.rfind(key + " ", 0) == 0 || l.rfind(key + "=", 0) == 0) ++n;
    return n;
  }
  bool wait_note(const std::string& key, int times = 1, DWORD ms = 8000) const {
    return kit::drive::wait_until([&] { return count(key) >= times; }, ms);
  }
  // The first number of the last note `key`.
  long value(const std::string& key) const {
    long v = -999999;
    for (const std::string& l : notes())
      if (l.rfind(key + " ", 0) == 0) v = std::stol(l.substr(key.size() + 1));
    return v;
  }
  std::string text(const std::string& key) const {
    std::string v;
    for (const std::string& l : notes())
      if (l.rfind(key + "=", 0) == 0) v = l.substr(key.size() + 1);
    return v;
  }
  bool has(const std::string& line) const {
    auto n = notes();
    return std::find(n.begin(), n.end(), line) != n.end();
  }

 private:
  std::string log_;
  std::unique_ptr<kit::Process> process_;
};

RECT in_parent(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A real left click at the centre of a window.
void click_at(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  Sleep(150);
}

// The focus window of the thread that owns `w`.
HWND focus_of(HWND w) {
  GUITHREADINFO gti{sizeof gti};
  GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gti);
  return gti.hwndFocus;
}

// Activates the window and clicks the control until it holds the focus.
void focus(HWND top, HWND control) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    SetForegroundWindow(top);
    kit::drive::wait_until([&] { return GetForegroundWindow() == top; }, 1000);
    click_at(control);
    if (kit::drive::wait_until([&] { return focus_of(top) == control; }, 1000)) break;
  }
  EXPECT_EQ(GetForegroundWindow(), top);
  EXPECT_EQ(focus_of(top), control);
}

struct WindowCount {
  DWORD pid;
  int windows;
};

BOOL CALLBACK count_windows(HWND h, LPARAM lp) {
  auto* c = reinterpret_cast<WindowCount*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == c->pid && kit::drive::text(h) == kTitle) ++c->windows;
  return TRUE;
}

HWND ready_window(ProgramRun& run) {
  HWND w = run.window();
  EXPECT_TRUE(w);
  EXPECT_TRUE(run.wait_note("tray"));
  return w;
}

}  // namespace

TEST(Units, LoadingTwiceShowsOneWindowWithTemplateRectangles) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  WindowCount count{run.process().pid(), 0};
  EnumWindows(count_windows, reinterpret_cast<LPARAM>(&count));
  EXPECT_EQ(count.windows, 1);

  struct Case { int id; RECT r; const char* cls; bool visible; };
  const Case cases[] = {
      {kLabel, {10, 10, 160, 50}, "OrvelLabel", true},
      {kEdit1, {10, 60, 160, 84}, "Edit", true},
      {kEditDigits, {10, 90, 160, 114}, "Edit", true},
      {kEditMulti, {10, 120, 160, 180}, "Edit", true},
      {kButton1, {180, 10, 280, 40}, "Button", true},
      {kCheck, {180, 50, 300, 74}, "Button", true},
      {kButton2, {180, 80, 280, 110}, "Button", true},
      {kTimer1, {320, 10, 352, 42}, "OrvelTimer", false},
      {kTimer2, {360, 10, 392, 42}, "OrvelTimer", false},
      {kPlaceholder, {310, 120, 540, 200}, "OrvelErrorControl", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    HWND h = kit::drive::find_child(w, c.id);
    ASSERT_TRUE(h);
    RECT r = in_parent(h);
    EXPECT_EQ(r.left, c.r.left);
    EXPECT_EQ(r.top, c.r.top);
    EXPECT_EQ(r.right, c.r.right);
    EXPECT_EQ(r.bottom, c.r.bottom);
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, c.cls);
    EXPECT_EQ(kit::drive::visible(h), c.visible);
  }
  RECT wr;
  GetWindowRect(w, &wr);
  EXPECT_EQ(wr.right - wr.left, 560);
  EXPECT_EQ(wr.bottom - wr.top, 300);
  EXPECT_EQ(run.value("label.left"), 10);
  EXPECT_EQ(run.value("label.width"), 150);
}

TEST(Units, PropertyRulesSeenByHandlers) {
  ProgramRun run(0);
  ASSERT_TRUE(ready_window(run));
  struct Case { const char* key; long expected; };
  const Case cases[] = {
      {"w2.width", 0},          // width -5 stores 0 in the template
      {"w2.left", 32627},       // left 40000 stores 32627
      {"w2.top", -32627},
      {"w2.height", 80},        // the template's own value
      {"label.frame", 5},       // frame width 3 stores 5
      {"check", 0},             // stored as 2: starts unchecked
      {"setting", 0},           // a logical property the unit reports as 2 reads 0
      {"timer.neg", 0},         // interval -5 stores 0
      {"created", 1},
      {"font.size", 11},        // 14 pixels at 96 dots per inch, in points
      {"font.bold", 1},         // element 1 written 1 sets weight 700
  };
  for (const Case& c : cases) EXPECT_EQ(run.value(c.key), c.expected) << c.key;
  EXPECT_EQ(run.text("mode5"), "abc");  // written text is stored whatever the input mode
  EXPECT_EQ(run.text("font.face"), "宋体");
  EXPECT_EQ(run.count("change"), 1);    // one change event for one written content
  HWND w = run.window();
  EXPECT_EQ(kit::drive::check_state(kit::drive::find_child(w, kCheck)), BST_UNCHECKED);
  EXPECT_EQ(kit::drive::text(kit::drive::find_child(w, kEdit1)), "written");
}

TEST(Units, MenuBarCommandsShortcutsAndCaptionWrites) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  EXPECT_TRUE(GetMenu(w));  // menus live in their process: worked through commands below
  SetForegroundWindow(w);
  kit::drive::wait_until([&] { return GetForegroundWindow() == w; }, 2000);
  kit::drive::press_keys({VK_CONTROL, 'O'});  // the item's shortcut
  EXPECT_TRUE(run.wait_note("menu.open"));
  kit::drive::post(w, WM_COMMAND, 20002);
  EXPECT_TRUE(run.wait_note("menu.help"));
  EXPECT_TRUE(run.wait_note("menu.caption"));
  EXPECT_EQ(run.text("menu.caption"), "帮助2");
  EXPECT_EQ(run.count("menu.open"), 1);
  kit::drive::post(w, WM_COMMAND, 20000);  // the pop-up's own item sends nothing bound
  kit::drive::post(w, WM_COMMAND, 20009);  // no such item
  kit::drive::post(w, WM_COMMAND, 20001);
  EXPECT_TRUE(run.wait_note("menu.open", 2));
}

TEST(Units, PictureWriteRecreatesButtonInPlace) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  ASSERT_TRUE(run.wait_note("recreated"));
  HWND b = kit::drive::find_child(w, kButton2);
  ASSERT_TRUE(b);
  EXPECT_TRUE(GetWindowLongA(b, GWL_STYLE) & BS_ICON);
  EXPECT_TRUE(SendMessageA(b, BM_GETIMAGE, IMAGE_ICON, 0) != 0);
  RECT r = in_parent(b);
  EXPECT_EQ(r.left, 180);
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right, 280);
  EXPECT_EQ(r.bottom, 110);
  EXPECT_TRUE(kit::drive::visible(b));
  EXPECT_EQ(run.count("click"), 0);
  kit::drive::click(b);  // the new button keeps the entry's event source
  EXPECT_TRUE(run.wait_note("click"));
}

TEST(Units, ReloadDropsWritesMadeWhileLoaded) {
  ProgramRun run(5);
  HWND w = kit::drive::find_window(run.process().pid(), "第二窗口", "", 15000);
  ASSERT_TRUE(w);
  ASSERT_TRUE(run.wait_note("loaded.left"));
  EXPECT_EQ(run.value("reload.left"), 11);  // written while not loaded: kept
  EXPECT_EQ(run.value("loaded.left"), 22);
  EXPECT_TRUE(run.wait_note("idle"));
  Sleep(1000);
  EXPECT_LT(run.count("idle"), 10);  // a handler that returns nothing ends the idle period
  kit::drive::post(w, WM_CLOSE);
  ASSERT_TRUE(run.wait_note("reload.left", 2));
  EXPECT_EQ(run.value("reload.left"), 11);  // the write while loaded is gone
  HWND again = kit::drive::find_window(run.process().pid(), "第二窗口", "", 5000);
  ASSERT_TRUE(again);
  kit::drive::post(again, WM_CLOSE);
  DWORD code = 1;
  EXPECT_TRUE(run.process().wait(8000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(Units, InputModeFiltersTypedCharactersOnly) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  HWND box = kit::drive::find_child(w, kEditDigits);
  SendMessageA(box, EM_SETSEL, 3, 3);
  for (char c : std::string("x7-.Q9")) kit::drive::post(box, WM_CHAR, static_cast<BYTE>(c), 1);
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::text(box) == "abc79"; }, 3000))
      << kit::drive::text(box);
}

TEST(Units, CharacterEventSwallowsOrReplaces) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  HWND box = kit::drive::find_child(w, kEdit1);
  SendMessageA(box, EM_SETSEL, 7, 7);
  for (char c : std::string("xyz")) kit::drive::post(box, WM_CHAR, static_cast<BYTE>(c), 1);
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::text(box) == "written!z"; }, 3000))
      << kit::drive::text(box);
}

TEST(Units, TimerSameIntervalKeepsItsPeriod) {
  ProgramRun run(0);
  ASSERT_TRUE(ready_window(run));
  ASSERT_TRUE(run.wait_note("t1", 1, 10000));
  ASSERT_TRUE(run.has("t2 " + std::to_string(run.value("t2")) + " 0"));
  long elapsed = run.value("t1") - run.value("t0");
  // Restarted by the second write at 500 ms it would tick at about 1500 ms.
  EXPECT_GE(elapsed, 900);
  EXPECT_LT(elapsed, 1350);
  Sleep(1500);
  EXPECT_EQ(run.count("t1"), 1);  // interval 0 stops it
}

TEST(Units, TrayIconExistsForTheWindowWithNumber100) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = w;
  nid.uID = 100;
  nid.uFlags = NIF_TIP;
  lstrcpyA(nid.szTip, "probe");
  EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &nid));
  nid.uID = 101;
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &nid));
}

TEST(Units, TrayTipIsCutTo62Bytes) {
  struct Case { std::string tip; std::string expected; };
  const std::string seventy(70, 'x');
  const std::string gbk61 = std::string(61, 'a') + "中";  // a double-byte character at 61..62
  const Case cases[] = {
      {seventy, std::string(62, 'x')},
      {"Revisto", "Revisto"},
      {gbk61, std::string(61, 'a')},
      {std::string(60, 'a') + "中", std::string(60, 'a') + "中"},
  };
  for (const Case& c : cases) EXPECT_EQ(units::tray_tip(c.tip.c_str()), c.expected);
}

TEST(Units, EventSourceLinks) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  kit::drive::click(kit::drive::find_child(w, kCheck));   // another type: its own binding
  EXPECT_TRUE(run.wait_note("check.click"));
  EXPECT_EQ(run.count("click"), 0);
  kit::drive::click(kit::drive::find_child(w, kButton2));  // same type: the first button's
  EXPECT_TRUE(run.wait_note("click"));
  EXPECT_EQ(run.count("check.click"), 1);
}

TEST(Units, EnterEscapeAndCloseRefusal) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  HWND edit = kit::drive::find_child(w, kEdit1), multi = kit::drive::find_child(w, kEditMulti);
  focus(w, multi);
  kit::drive::press_keys({VK_RETURN});  // the multi-line box wants Enter itself
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::text(multi) == "\r\n"; }, 3000));
  EXPECT_EQ(run.count("click"), 0);
  focus(w, edit);
  kit::drive::press_keys({VK_RETURN});  // Enter clicks the default button
  EXPECT_TRUE(run.wait_note("click"));
  kit::drive::press_keys({VK_ESCAPE});  // close requested; the handler returns 0
  EXPECT_TRUE(run.wait_note("close.refused"));
  Sleep(300);
  EXPECT_TRUE(IsWindow(w));
  SetForegroundWindow(w);
  kit::drive::press_keys({VK_ESCAPE});  // the handler returns nothing: it closes
  EXPECT_TRUE(run.wait_note("close"));
  DWORD code = 1;
  EXPECT_TRUE(run.process().wait(8000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(Units, TabMovesFocusInTabOrder) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  HWND edit1 = kit::drive::find_child(w, kEdit1), digits = kit::drive::find_child(w, kEditDigits),
       multi = kit::drive::find_child(w, kEditMulti);
  focus(w, edit1);
  struct Step { std::vector<WORD> keys; HWND expected; };
  const Step steps[] = {
      {{VK_TAB}, digits},            // tab order 1 -> 2
      {{VK_TAB}, multi},             // 2 -> 3
      {{VK_SHIFT, VK_TAB}, digits},  // back
      {{VK_SHIFT, VK_TAB}, edit1},
  };
  for (const Step& s : steps) {
    kit::drive::press_keys(s.keys);
    EXPECT_TRUE(kit::drive::wait_until([&] { return focus_of(w) == s.expected; }, 3000));
  }
}

TEST(Units, KeyEventsCarryFoldedCodesAndKeyState) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  focus(w, kit::drive::find_child(w, kEdit1));
  kit::drive::press_keys({VK_CONTROL, VK_SHIFT, 'A'});
  EXPECT_TRUE(kit::drive::wait_until([&] { return run.has("key 65 3"); }, 3000));
  kit::drive::press_keys({VK_NUMPAD7});
  EXPECT_TRUE(kit::drive::wait_until([&] { return run.has("key 55 0"); }, 3000));
  kit::drive::press_keys({VK_MENU, 'K'});  // Alt + mnemonic clicks the button "确定&K"
  EXPECT_TRUE(run.wait_note("click"));
}

// Bounding box of the red pixels of a screen rectangle; x1 < 0 when there are none.
struct RedBox {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
};

RedBox red_box(const kit::Shot& shot, const RECT& r) {
  RedBox b;
  for (int y = std::max(0L, r.top); y < std::min<long>(shot.height, r.bottom); ++y)
    for (int x = std::max(0L, r.left); x < std::min<long>(shot.width, r.right); ++x) {
      uint32_t p = shot.at(x, y);
      int red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
      if (red > 150 && red - std::max(green, blue) > 80) {  // red, anti-aliased edges too
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
    }
  return b;
}

TEST(Units, PlaceholderMessageCentredAndScreenshotKept) {
  ProgramRun run(0);
  HWND w = ready_window(run);
  ASSERT_TRUE(w);
  HWND ph = kit::drive::find_child(w, kPlaceholder);
  RECT r;
  GetWindowRect(ph, &r);
  double ux = (r.left + r.right - 1) / 2.0, uy = (r.top + r.bottom - 1) / 2.0;
  RedBox b;
  // The window on top of the display, repainted; another attempt if something covered it.
  for (int attempt = 0; attempt < 6; ++attempt) {
    SetForegroundWindow(w);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(attempt == 0 ? 700 : 1000);
    kit::Shot shot = kit::screenshot();
    ASSERT_GT(shot.width, 0);
    shot.save_png(kit::bin_dir() + "units_window.png");
    b = red_box(shot, r);
    if (b.x1 >= 0 && std::abs((b.x0 + b.x1) / 2.0 - ux) <= 3 && std::abs((b.y0 + b.y1) / 2.0 - uy) <= 3)
      break;
  }
  ASSERT_GE(b.x1, 0) << "no red text";
  EXPECT_NEAR((b.x0 + b.x1) / 2.0, ux, 3.0) << b.x0 << ".." << b.x1 << " in " << r.left << ".." << r.right;
  EXPECT_NEAR((b.y0 + b.y1) / 2.0, uy, 3.0);
}

TEST(Units, StateWrittenWhileHiddenOnlyStored) {
  ProgramRun run(4);
  HWND w = run.window();
  ASSERT_TRUE(w);
  ASSERT_TRUE(run.wait_note("state"));
  EXPECT_TRUE(kit::drive::wait_until([&] { return IsWindowVisible(w) && IsIconic(w); }, 3000))
      << "visible " << IsWindowVisible(w) << " iconic " << IsIconic(w);
  EXPECT_EQ(run.value("state"), 2);  // shown in the state it was hidden in
}

TEST(Units, LoadFailures) {
  struct Case { int mode; const char* message; };
  const Case cases[] = {
      {1, "指定窗口尚未载入"},     // type-specific read on a window that is not loaded
      {2, "载入启动窗口失败"},     // timer data of version 2
      {3, "载入启动窗口失败"},     // a unit of a library beyond the list
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ProgramRun run(c.mode);
    kit::DialogWatcher watcher(run.process().pid());
    ASSERT_TRUE(watcher.wait_for(1, 15000));
    EXPECT_NE(watcher.seen()[0].text.find(c.message), std::string::npos) << watcher.seen()[0].text;
    DWORD code = 0;
    EXPECT_TRUE(run.process().wait(8000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
  }
}

TEST(Units, DispatchAndAccessFailures) {
  struct Case { int mode; const char* message; };
  const Case cases[] = {
      {1, "未找到引发事件的窗口"},
      {2, "未找到引发事件的窗口组件"},
      {3, "引发事件的窗口组件无效"},
      {4, "未载入欲访问窗口组件所在的窗口"},
      {5, "指定窗口或窗口组件不存在或尚未载入"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    kit::Process p(kit::bin_dir() + "dispatch_errors.exe", std::to_string(c.mode));
    kit::DialogWatcher watcher(p.pid());
    ASSERT_TRUE(watcher.wait_for(1, 15000));
    EXPECT_NE(watcher.seen()[0].text.find(c.message), std::string::npos) << watcher.seen()[0].text;
    DWORD code = 0;
    EXPECT_TRUE(p.wait(8000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
  }
}
