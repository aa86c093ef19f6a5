// A program written in C (cprog.c, cprog_values.c and the assembly handler cprog_tick.s),
// linked by the image linker and run as a real process: every service entry, core commands,
// DLL commands of both conventions, 64-bit arithmetic from the support object, handlers of
// each return kind bound to real unit events and evaluated as sub-statements.
#include <gtest/gtest.h>
#include <windows.h>
#include <fstream>
#include <sstream>
#include <string>
#include "kit.h"
#include "runtime/errors.h"

namespace {

std::string fresh_marks(const std::string& name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir) + name + ".txt";
  DeleteFileA(path.c_str());
  SetEnvironmentVariableA("ORVEL_MARKS", path.c_str());
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(CProgram, ServicesCommandsAndHandlersOfEachKind) {
  std::string marks = fresh_marks("cprog_services");
  SetEnvironmentVariableA("ORVEL_MODE", "0");
  kit::Process p(kit::bin_dir() + "cprog.exe");
  ASSERT_TRUE(p.started());
  HWND window = kit::drive::find_window(p.pid(), "C程序窗口");
  ASSERT_TRUE(window);
  // The assembly timer handler calls back into C once and stops its timer.
  EXPECT_TRUE(kit::drive::wait_until([&] { return read_file(marks).find("tick_event=1") != std::string::npos; }));

  // The edit box's character event returns an integer: the runtime types that instead.
  HWND edit = kit::drive::find_child(window, "Edit", "");
  ASSERT_TRUE(edit);
  for (char c : std::string("ab1")) kit::drive::post(edit, WM_CHAR, static_cast<WPARAM>(c));
  EXPECT_TRUE(kit::drive::wait_until([&] { return kit::drive::text(edit) == "AB1"; }))
      << kit::drive::text(edit);

  // The close handler returns logical false once: the window stays; the second close ends.
  kit::drive::post(window, WM_CLOSE);
  EXPECT_TRUE(kit::drive::wait_until([&] { return read_file(marks).find("close=1") != std::string::npos; }));
  Sleep(200);
  EXPECT_TRUE(IsWindow(window)) << "a close handler returning false keeps the window";
  kit::drive::post(window, WM_CLOSE);
  DWORD code = kit::kStillRunning;
  ASSERT_TRUE(p.wait(20000, &code));
  EXPECT_EQ(code, 7u) << "the start-up routine's return value is the exit code";

  // The same figures as the assembly tests and the core command suites give.
  EXPECT_EQ(read_file(marks),
            "heap=ok\n"
            "len=7\n"
            "lib_len=7\n"
            "to_text=1234.5\n"
            "to_integer=-12\n"
            "find=7\n"
            "year=2026\n"
            "weekday=5\n"
            "tick=1\n"
            "add_std=5\n"
            "add_cdecl=9\n"
            "div64=428571431\n"
            "mod64=4\n"
            "sub_integer=42\n"
            "sub_double=2.5\n"
            "sub_text=名字\n"
            "sub_logical=真\n"
            "caption=你好\n"
            "label_width=200\n"
            "tick_event=1\n"
            "char=97\n"
            "char=98\n"
            "char=49\n"
            "close=1\n"
            "close=2\n"
            "loop=returned\n"
            "finalised=1\n");
}

TEST(CProgram, ReportErrorShowsTheCodedDialogAndEndsWithMinusOne) {
  std::string marks = fresh_marks("cprog_error");
  SetEnvironmentVariableA("ORVEL_MODE", "1");
  kit::Ending end = kit::run_to_end(kit::bin_dir() + "cprog.exe", "", 1);
  ASSERT_EQ(end.dialogs.size(), 1u);
  EXPECT_EQ(end.dialogs[0].text, runtime::error_text(runtime::coded_message(4), 4));
  EXPECT_EQ(end.exit_code, 0xFFFFFFFFu);
  EXPECT_EQ(read_file(marks), "") << "a run-time error skips the finalisation routine";
}
