// Whole programs built with the image linker, run as real processes: exits from the start-up
// routine and from deep inside nested calls, run-time errors with their exact dialogs, the
// finalisation routine, header flag bit 0, run mode 2 under a test debugger, a second image
// joining through the run entry, DLL commands, the interception of the core library file,
// fixed-result core slots, a library loaded on demand, and an exit requested by another thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include "kit.h"

namespace {

constexpr DWORD kMinusOne = 0xFFFFFFFF;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A file for the marks a run leaves (finalisation routine, error handler), fresh per run.
std::string fresh_marks(const std::string& name) {
  std::string path = kit::bin_dir() + name + ".marks";
  DeleteFileA(path.c_str());
  SetEnvironmentVariableA("ORVEL_MARKS", path.c_str());
  return path;
}

struct Outcome {
  DWORD exit_code = kit::kStillRunning;
  std::vector<kit::DialogWatcher::Seen> dialogs;
  std::string marks;
};

// Runs startup_prog.exe in `mode`, pressing OK in every dialog it shows.
Outcome run_mode(int mode, size_t dialogs_expected = 0) {
  std::string marks = fresh_marks("startup_prog_" + std::to_string(mode));
  SetEnvironmentVariableA("ORVEL_MODE", std::to_string(mode).c_str());
  Outcome out;
  kit::Process p(kit::bin_dir() + "startup_prog.exe");
  EXPECT_TRUE(p.started());
  kit::DialogWatcher watcher(p.pid());
  if (dialogs_expected) {
    EXPECT_TRUE(watcher.wait_for(dialogs_expected, 20000));
  }
  p.wait(20000, &out.exit_code);
  out.dialogs = watcher.seen();
  out.marks = read_file(marks);
  return out;
}

std::string error_dialog(const std::string& message, int code) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (!message.empty()) text += "错误信息：" + message + "\r\n";
  return text;
}

}  // namespace

TEST(Startup, ExitsWithTheCodeOfItsExit) {
  struct Case { int mode; DWORD code; const char* marks; const char* what; } cases[] = {
      {1, 0, "F", "exit 0 after the message loop returned at once; finalisation once"},
      {2, 5, "F", "exit 5 from two levels inside a DLL command's call-back"},
      {6, 0, "F", "stdcall and cdecl DLL functions, an ordinal, a system library function"},
      {9, 0x1F, "F", "the core library file is the program; GetNewSock 999 and 1004 give 0"},
      {10, 3, "F", "slots 556 557 208 335 558 620 give 0, 336 572 give 1 (bits, last lowest)"},
      {13, 107, "F", "a recorded library loaded by its first command call"},
      {17, 3, "F", "the large and the small program icon from resource 0x81"},
  };
  for (const Case& c : cases) {
    Outcome o = run_mode(c.mode);
    EXPECT_EQ(o.exit_code, c.code) << c.what;
    EXPECT_EQ(o.marks, c.marks) << c.what;
    EXPECT_TRUE(o.dialogs.empty()) << c.what;
  }
}

TEST(Startup, RunTimeErrorsShowTheirDialogAndEndWithMinusOne) {
  struct Case { int mode; std::string text; } cases[] = {
      {3, error_dialog("数组成员引用下标必须大于等于1", 4)},
      {4, error_dialog("载入启动窗口失败", 0)},
      {5, error_dialog("分配 1000000 字节内存失败!", 0)},
      {7, error_dialog("无法找到指定DLL库文件“startup_dll.dll”中的输出命令“no_such_export”", 0)},
      {8, error_dialog("无法找到指定DLL库文件中的输出命令“NoSuchExportAnywhere”", 0)},
      {14, error_dialog("所调用的支持库命令不存在", 0)},
      {15, error_dialog("无效的服务功能号", 0)},
      {16, error_dialog("您的程序缺少一个名为“缺失库2.1版”的Orvel支持库，其文件名为“nolib.vlr”或"
                        "“nolib.vlb”，数字签名为“00112233445566778899aabbccddeeff”，此文件可以通过"
                        "重新安装您的程序修复，或直接到Orvel网站 https://orvel.example/ "
                        "下载Orvel最新版安装后得到这个文件并拷贝到您的程序目录中。", 0)},
  };
  for (const Case& c : cases) {
    Outcome o = run_mode(c.mode, 1);
    EXPECT_EQ(o.exit_code, kMinusOne) << c.mode;
    ASSERT_EQ(o.dialogs.size(), 1u) << c.mode;
    EXPECT_EQ(o.dialogs[0].caption, "错误") << c.mode;
    EXPECT_EQ(o.dialogs[0].text, c.text) << c.mode;
    EXPECT_EQ(o.marks, "") << "no finalisation after an error, mode " << c.mode;
  }
}

TEST(Startup, FlagBitZeroReturnsTheStartupRoutinesValue) {
  EXPECT_EQ(kit::run(kit::bin_dir() + "flag_prog.exe"), 42u);
}

TEST(Startup, SecondImageJoinsThroughTheRunEntry) {
  Outcome o = run_mode(12);
  EXPECT_EQ(o.exit_code, 42u) << "the joined image's start-up routine result";
  EXPECT_EQ(o.marks, "F");
}

TEST(Startup, ExitRequestFromAnotherThreadEndsOnTheMainThread) {
  Outcome o = run_mode(11);
  EXPECT_EQ(o.exit_code, 23u);
  EXPECT_EQ(o.marks, "F") << "the finalisation routine ran (on the main thread)";
}

TEST(Startup, RunModeTwoUnderADebugger) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string cwd = std::string(temp) + "orvel_dbg_cwd";
  CreateDirectoryA(cwd.c_str(), nullptr);
  std::string report = kit::bin_dir() + "debug_prog.report";
  DeleteFileA(report.c_str());
  kit::Process p(kit::bin_dir() + "testdbg.exe",
                 "\"" + report + "\" \"" + kit::bin_dir() + "debug_prog.exe\"", cwd);
  ASSERT_TRUE(p.started());
  DWORD code = kit::kStillRunning;
  p.wait(30000, &code);
  EXPECT_EQ(code, 0u);
  std::string seen = read_file(report);
  EXPECT_NE(seen.find("breakpoints 1\n"), std::string::npos) << seen;
  // The program directory is the current directory, not the executable's.
  EXPECT_NE(seen.find("debug " + cwd + "\n"), std::string::npos) << seen;
}

TEST(Startup, ErrorHandlerRoutine) {
  struct Case {
    const char* mode;
    size_t dialogs;
    const char* marks;
  } cases[] = {
      {"handled", 0, "handler 3 测试错误\nframe -1\n"},
      {"declined", 1, "handler 3 测试错误\nframe -1\n"},
      {"nested", 1, "handler 3 测试错误\nframe -1\n"},
      {"plain", 1, "frame -1\n"},
  };
  for (const Case& c : cases) {
    std::string marks = fresh_marks(std::string("errors_probe_") + c.mode);
    kit::Process p(kit::bin_dir() + "errors_probe.exe", c.mode);
    ASSERT_TRUE(p.started());
    kit::DialogWatcher watcher(p.pid());
    if (c.dialogs) {
      EXPECT_TRUE(watcher.wait_for(c.dialogs, 20000)) << c.mode;
    }
    DWORD code = kit::kStillRunning;
    p.wait(20000, &code);
    EXPECT_EQ(code, kMinusOne) << c.mode;
    auto seen = watcher.seen();
    EXPECT_EQ(seen.size(), c.dialogs) << c.mode;
    std::string want = std::string(c.mode) == "nested" ? error_dialog("第二个错误", 0)
                                                      : error_dialog("测试错误", 3);
    if (!seen.empty()) {
      EXPECT_EQ(seen[0].text, want) << "a nested error skips the handler";
    }
    EXPECT_EQ(read_file(marks), c.marks) << c.mode;
  }
}

TEST(Startup, RunModeTwoErrorStopsInTheDebuggerAfterItsDialog) {
  std::string report = kit::bin_dir() + "debug_error_prog.report";
  DeleteFileA(report.c_str());
  DeleteFileA((report + ".pid").c_str());
  kit::Process p(kit::bin_dir() + "testdbg.exe",
                 "\"" + report + "\" \"" + kit::bin_dir() + "debug_error_prog.exe\"");
  ASSERT_TRUE(p.started());
  DWORD pid = 0;
  ASSERT_TRUE(kit::drive::wait_until([&] {
    pid = std::strtoul(read_file(report + ".pid").c_str(), nullptr, 10);
    return pid != 0;
  }, 10000));
  kit::DialogWatcher watcher(pid);
  EXPECT_TRUE(watcher.wait_for(1, 20000));
  DWORD code = kit::kStillRunning;
  p.wait(30000, &code);
  EXPECT_EQ(code, kMinusOne);
  auto seen = watcher.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, error_dialog("数组成员引用下标必须大于等于1", 4));
  std::string text = read_file(report);
  EXPECT_NE(text.find("breakpoints 2\n"), std::string::npos) << "preparation's stop, the error's stop: " << text;
}
