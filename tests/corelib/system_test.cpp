// System commands: environment, command line, program directory and name, run program,
// console streams, clipboard, screen figures and the clock's refusal. Children are real
// processes (system_child.exe) that report what they received into a file.
#include <windows.h>
#include <gtest/gtest.h>
#include <climits>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "call.h"
#include "runtime/args.h"
#include "runtime/notify.h"
#include "runtime/runtime.h"
#include "../kit/kit.h"

using namespace calls;

namespace {

enum Slot {
  kCommandLine = 64, kRunDirectory = 65, kExeName = 66, kReadEnv = 67, kWriteEnv = 68,
  kNow = 132, kSetTime = 133, kRun = 176, kClipText = 177, kSetClip = 178, kClipHas = 179,
  kClipClear = 180, kScreenW = 181, kScreenH = 182, kCursorX = 183, kCursorY = 184,
  kColours = 185, kToText = 90,
};

std::string child_exe() { return kit::bin_dir() + "system_child.exe"; }

std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder with a GBK name, removed with its files.
class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path_ = std::string(base) + "系统命令_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(GetTickCount());
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((path_ + "\\*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = f.cFileName;
        if (name != "." && name != "..") DeleteFileA((path_ + "\\" + name).c_str());
      } while (FindNextFileA(h, &f));
      FindClose(h);
    }
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

class SystemCommandsBase : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(exists(temp_->path())); }
  void TearDown() override {
    std::string folder = temp_->path();
    temp_.reset();
    SetEnvironmentVariableA("ORVEL_CHILD_MODE", nullptr);
    SetEnvironmentVariableA("ORVEL_CHILD_OUT", nullptr);
    EXPECT_FALSE(exists(folder)) << "the temporary folder stayed behind";
  }
  // Sets the child's mode and report file for the children started next.
  std::string child_mode(const std::string& mode) {
    std::string out = temp_->file("报告_" + mode + ".txt");
    SetEnvironmentVariableA("ORVEL_CHILD_MODE", mode.c_str());
    SetEnvironmentVariableA("ORVEL_CHILD_OUT", out.c_str());
    return out;
  }
  std::unique_ptr<TempFolder> temp_ = std::make_unique<TempFolder>();
};

bool run_program(const std::string& line, ArgRecord wait, ArgRecord state) {
  ArgRecord r = call(kRun, {Text(line), wait, state});
  EXPECT_EQ(r.hi, 0u);
  return r.lo == 1;
}

// ---- Environment ----------------------------------------------------------------------------

using SystemCommandsEnvironment = SystemCommandsBase;

TEST_F(SystemCommandsEnvironment, WrittenVariablesAreReadBackAndInheritedByChildren) {
  const std::string name = "ORVEL_CHILD_VALUE";
  const std::string value = "值 with spaces=and equals";
  ASSERT_EQ(call(kWriteEnv, {Text(name), Text(value)}).lo, 1u);
  EXPECT_EQ(take_text(call(kReadEnv, {Text(name)})), value);
  wchar_t os_value[256] = {};
  GetEnvironmentVariableW(L"ORVEL_CHILD_VALUE", os_value, 256);
  EXPECT_EQ(std::wstring(os_value), L"值 with spaces=and equals");  // the process environment

  std::string out = child_mode("env");
  ASSERT_TRUE(run_program("\"" + child_exe() + "\"", Bool(true), Omit()));
  EXPECT_EQ(file_content(out), value);

  // An empty value removes the variable; the child then sees none either.
  ASSERT_EQ(call(kWriteEnv, {Text(name), Text("")}).lo, 1u);
  EXPECT_EQ(take_text(call(kReadEnv, {Text(name)})), std::nullopt);
  ASSERT_TRUE(run_program("\"" + child_exe() + "\"", Bool(true), Omit()));
  EXPECT_EQ(file_content(out), "<null>");
}

TEST_F(SystemCommandsEnvironment, UnsetAndMalformedNamesFailQuietly) {
  EXPECT_EQ(take_text(call(kReadEnv, {Text("ORVEL_NEVER_SET_变量")})), std::nullopt);
  EXPECT_EQ(take_text(call(kReadEnv, {Text("")})), std::nullopt);
  ASSERT_EQ(call(kWriteEnv, {Text("ORVEL_KEEP"), Text("kept")}).lo, 1u);
  struct Case { std::string name; } cases[] = {{""}, {"ORVEL_KEEP=x"}, {"=ORVEL_KEEP"}};
  for (const Case& c : cases) {
    ArgRecord r = call(kWriteEnv, {Text(c.name), Text("v")});
    EXPECT_EQ(r.lo, 0u) << c.name;
  }
  EXPECT_EQ(take_text(call(kReadEnv, {Text("ORVEL_KEEP")})), "kept");
  EXPECT_EQ(take_text(call(kReadEnv, {Text("ORVEL_KEEP=x")})), std::nullopt);
  call(kWriteEnv, {Text("ORVEL_KEEP"), Text("")});
  EXPECT_EQ(GetEnvironmentVariableA("ORVEL_KEEP", nullptr, 0), 0u);
}

// ---- Program --------------------------------------------------------------------------------

using SystemCommandsProgram = SystemCommandsBase;

TEST_F(SystemCommandsProgram, CommandLineGivesTheItemsAfterTheProgramPath) {
  struct Case { std::string after_path; bool quote_path; std::string expected; } cases[] = {
      {" a \"b c\" d", true, "[a]\n[b c]\n[d]\n"},
      {"\t中文  \"带 空格\"\t尾", false, "[中文]\n[带 空格]\n[尾]\n"},
      {" \"\" x \"unclosed tail", true, "[]\n[x]\n[unclosed tail]\n"},
      {"", true, ""},
  };
  std::string out = child_mode("args");
  for (const Case& c : cases) {
    std::string path = c.quote_path ? "\"" + child_exe() + "\"" : child_exe();
    DeleteFileA(out.c_str());
    ASSERT_TRUE(run_program(path + c.after_path, Bool(true), Int(1))) << c.after_path;
    EXPECT_EQ(file_content(out), c.expected) << c.after_path;
  }
}

TEST_F(SystemCommandsProgram, CommandLineReplacesTheOldArrayWithoutLeaking) {
  void* variable = nullptr;
  ArgRecord by_reference{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&variable)), 0,
                         runtime::kTypeText | runtime::kArrayBit};
  call(kCommandLine, {by_reference});  // first array; the heap's own growth settles
  uint64_t busy = heap_busy_bytes();
  for (int i = 0; i < 50; ++i) call(kCommandLine, {by_reference});
  EXPECT_EQ(heap_busy_bytes(), busy);
  ASSERT_NE(variable, nullptr);
  auto* block = static_cast<uint32_t*>(variable);
  EXPECT_EQ(block[0], 1u);
  EXPECT_EQ(block[1], static_cast<uint32_t>(__argc - 1));  // the test's own plain arguments
  runtime::notify(2023, runtime::kTypeText | runtime::kArrayBit,
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(variable)));

  // Nothing to write through: no call may touch memory.
  int32_t plain = 77;
  call(kCommandLine, {});
  call(kCommandLine, {IntVariable(&plain)});
  call(kCommandLine, {Text("not an array")});
  EXPECT_EQ(plain, 77);
}

TEST_F(SystemCommandsProgram, RunDirectoryAndFileNameFollowTheRuntime) {
  std::string exe = kit::bin_dir() + "corelib_system_test.exe";
  runtime::Runtime& r = runtime::rt();
  ASSERT_TRUE(r.program_dir.empty());
  EXPECT_EQ(take_text(call(kRunDirectory, {})), exe.substr(0, exe.rfind('\\')));
  EXPECT_EQ(take_text(call(kExeName, {})), "corelib_system_test.exe");
  r.program_dir = "C:\\程序目录";
  r.program_file = "程序.exe";
  EXPECT_EQ(take_text(call(kRunDirectory, {})), "C:\\程序目录");
  EXPECT_EQ(take_text(call(kExeName, {})), "程序.exe");
  r.program_dir.clear();
  r.program_file.clear();
}

TEST_F(SystemCommandsProgram, RunProgramStartsWithTheWindowStateAsked) {
  // {argument, show command the child receives}: out-of-range states take the nearest end.
  struct Case { ArgRecord state; unsigned show; } cases[] = {
      {Omit(), SW_SHOWNORMAL},        {Int(1), SW_HIDE},
      {Int(2), SW_SHOWNORMAL},        {Int(3), SW_SHOWMINIMIZED},
      {Int(4), SW_SHOWMAXIMIZED},     {Int(5), SW_SHOWNOACTIVATE},
      {Int(6), SW_MINIMIZE},          {Int(9), SW_MINIMIZE},
      {Int(0), SW_HIDE},              {Int(-4), SW_HIDE},
  };
  std::string out = child_mode("show");
  for (const Case& c : cases) {
    DeleteFileA(out.c_str());
    ASSERT_TRUE(run_program(child_exe(), Bool(true), c.state)) << int(c.state.lo);
    EXPECT_EQ(file_content(out), "1 " + std::to_string(c.show)) << int(c.state.lo);
  }
}

TEST_F(SystemCommandsProgram, RunProgramWaitsForTheEndOnlyWhenAsked) {
  // With waiting the command returns only after the child has ended, with its exit code. A
  // watcher opens the child (which reports its process id and then waits to be watched) so
  // that its end and exit code can be read after the command returned.
  HANDLE watched = CreateEventA(nullptr, TRUE, FALSE, "orvel_system_child_watched");
  ASSERT_NE(watched, nullptr);
  std::string out = child_mode("wait");
  HANDLE child = nullptr;
  std::thread watcher([&] {
    kit::drive::wait_until([&] {
      std::string pid = file_content(out);
      if (pid.empty() || pid.back() != '\n') return false;
      child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, std::stoul(pid));
      return child != nullptr;
    }, 20000);
    SetEvent(watched);
  });
  bool started = run_program(child_exe(), Bool(true), Int(1));
  watcher.join();
  CloseHandle(watched);
  ASSERT_TRUE(started);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(WaitForSingleObject(child, 0), WAIT_OBJECT_0) << "the command returned before the end";
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(child);

  // Without waiting the command returns while the child still waits to be released.
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "orvel_system_child_release");
  ASSERT_NE(release, nullptr);
  out = child_mode("hold");
  ASSERT_TRUE(run_program(child_exe(), Bool(false), Int(1)));
  EXPECT_FALSE(exists(out));
  SetEvent(release);
  EXPECT_TRUE(kit::drive::wait_until([&] { return file_content(out) == "released"; }, 20000));
  CloseHandle(release);
  // The report is complete only once the child closed it; let it end before the folder goes.
  kit::drive::wait_until([&] { return DeleteFileA(out.c_str()) != 0; }, 5000);
}

TEST_F(SystemCommandsProgram, RunProgramReportsWhatCannotStart) {
  EXPECT_FALSE(run_program("", Bool(true), Int(1)));
  EXPECT_FALSE(run_program(temp_->file("不存在的程序.exe"), Bool(true), Int(1)));
  EXPECT_FALSE(run_program("\"" + temp_->path() + "\"", Bool(false), Int(1)));
}

// ---- Console streams ------------------------------------------------------------------------

struct Ran {
  DWORD exit_code = kit::kStillRunning;
  std::string out, err;
};

// Runs the child with its standard input from `input_file` and its outputs into files.
Ran run_redirected(const std::string& folder, const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  std::string in_path = folder + "\\输入.txt", out_path = folder + "\\输出.txt",
              err_path = folder + "\\错误.txt";
  std::ofstream(in_path, std::ios::binary) << input;
  Ran ran;
  {
    HANDLE in = CreateFileA(in_path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    std::string line = "\"" + child_exe() + "\"";
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &info)) {
      if (WaitForSingleObject(info.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 9);
      WaitForSingleObject(info.hProcess, 5000);
      GetExitCodeProcess(info.hProcess, &ran.exit_code);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
  }
  ran.out = file_content(out_path);
  ran.err = file_content(err_path);
  return ran;
}

using SystemCommandsConsole = SystemCommandsBase;

TEST_F(SystemCommandsConsole, StandardOutputWritesValuesAsTextWithNothingBetween) {
  child_mode("stdout");
  Ran ran = run_redirected(temp_->path(), "");
  ASSERT_EQ(ran.exit_code, 0u);
  // The same values through to text, in this process: byte set skipped, no separators.
  std::string expected;
  for (ArgRecord v : {Int(-12), Text("文本"), Bool(true), Bool(false), Double(2.5), Date(41333.5),
                      Long(1234567890123LL), Byte(7), Float(0.25f)})
    expected += take_text(call(kToText, {v})).value_or("<null>");
  EXPECT_EQ(ran.out, expected + "!");
  EXPECT_EQ(ran.err, "错误输出2");
  EXPECT_EQ(ran.out.find("skipped"), std::string::npos);
}

TEST_F(SystemCommandsConsole, StandardInputReadsOneLineAndDropsTrailingControlCharacters) {
  child_mode("stdin-echo");
  const std::string long_line(3000, 'x');
  Ran ran = run_redirected(temp_->path(),
                           "  第一行 \t\r\n"  // trailing tab and line end go, the space stays
                           "\r\n"             // the first character is always kept
                           "\x01\x02\n"       // likewise
                           + long_line + "\n"  // at most 2048 bytes per read
                           "末行");            // the last line needs no line end
  ASSERT_EQ(ran.exit_code, 0u);
  EXPECT_EQ(file_content(temp_->file("报告_stdin-echo.txt")),
            "[  第一行 ]\n[\r]\n[\x01]\n[" + std::string(2048, 'x') + "]\n[" +
                std::string(952, 'x') + "]\n[末行]\n<null>\n");
}

TEST_F(SystemCommandsConsole, StandardInputWithoutEchoReadsUpToACarriageReturn) {
  child_mode("stdin-silent");
  Ran ran = run_redirected(temp_->path(), "abc\r文字\x05\r" + std::string(2100, 'y'));
  ASSERT_EQ(ran.exit_code, 0u);
  EXPECT_EQ(file_content(temp_->file("报告_stdin-silent.txt")),
            "[abc]\n[文字]\n[" + std::string(2049, 'y') + "]\n[" + std::string(51, 'y') +
                "]\n<null>\n");
}

// A GUI program given no standard handles writes to and reads from its parent's console: the
// child opens a console of its own, types two lines into it and starts a second child, which
// writes, reads one line with echo and one without, and writes to the error stream.
TEST_F(SystemCommandsConsole, WithoutStandardHandlesTheParentsConsoleIsUsed) {
  std::string out = child_mode("console-host");
  ASSERT_EQ(kit::run(child_exe(), "", 40000), 0u);
  EXPECT_EQ(file_content(out),
            "exit 0\n"
            "[第一行 ]\n"  // typed "第一行 <enter>": the line end goes, the space stays
            "[静默]\n"     // typed "静默<ctrl-e><enter>" without echo
            "screen:\n"
            "控制台5第一行\n"  // the output, then the echoed line
            "完\n");           // the error stream; the silent line left no trace
}

// ---- Clipboard ------------------------------------------------------------------------------

TEST(SystemCommandsClipboard, TextRoundTripsAndClears) {
  const std::string text = "剪贴板文本 line\r\nsecond";
  ASSERT_EQ(call(kSetClip, {Text(text)}).lo, 1u);
  EXPECT_EQ(call(kClipHas, {}).lo, 1u);
  EXPECT_EQ(take_text(call(kClipText, {})), text);
  // Another reader sees the same text, as UTF-16.
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE wide = GetClipboardData(CF_UNICODETEXT);
  std::wstring seen = wide ? static_cast<const wchar_t*>(GlobalLock(wide)) : L"";
  if (wide) GlobalUnlock(wide);
  CloseClipboard();
  EXPECT_EQ(seen, L"剪贴板文本 line\r\nsecond");

  call(kClipClear, {});
  EXPECT_EQ(call(kClipHas, {}).lo, 0u);
  EXPECT_EQ(take_text(call(kClipText, {})), std::nullopt);
}

// ---- Screen ---------------------------------------------------------------------------------

TEST(SystemCommandsScreen, FiguresMatchTheDisplay) {
  EXPECT_EQ(static_cast<int>(call(kScreenW, {}).lo), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(static_cast<int>(call(kScreenH, {}).lo), GetSystemMetrics(SM_CYSCREEN));
  EXPECT_GT(static_cast<int>(call(kScreenW, {}).lo), 0);

  ASSERT_TRUE(SetCursorPos(37, 41));
  EXPECT_EQ(static_cast<int>(call(kCursorX, {}).lo), 37);
  EXPECT_EQ(static_cast<int>(call(kCursorY, {}).lo), 41);

  HDC screen = GetDC(nullptr);
  int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  int32_t colours = static_cast<int32_t>(call(kColours, {}).lo);
  EXPECT_EQ(colours, bits >= 31 ? INT_MAX : 1 << bits);  // 32 bits per pixel saturates
  EXPECT_GE(colours, 256);
}

// ---- Clock ----------------------------------------------------------------------------------

// Without the privilege to set the clock the command reports false and the clock stays.
TEST(SystemCommandsClock, SetSystemTimeIsRefusedWithoutThePrivilege) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES drop{1, {{{0, 0}, SE_PRIVILEGE_REMOVED}}};
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &drop.Privileges[0].Luid));
  AdjustTokenPrivileges(token, FALSE, &drop, 0, nullptr, nullptr);
  // Enabled or not, a privilege still in the token could be switched on by the platform.
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<char> buffer(size);
  ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
  CloseHandle(token);
  const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
    const LUID& luid = list->Privileges[i].Luid;
    if (luid.LowPart == drop.Privileges[0].Luid.LowPart && luid.HighPart == drop.Privileges[0].Luid.HighPart)
      GTEST_SKIP() << "the process keeps the privilege to set the clock";
  }

  double now = as_double(call(kNow, {}));
  double later = now + 800;  // about two years ahead
  ArgRecord r = call(kSetTime, {Date(later)});
  EXPECT_EQ(r.lo, 0u);
  EXPECT_LT(as_double(call(kNow, {})) - now, 1.0);  // less than a day: the clock did not move
}

}  // namespace
