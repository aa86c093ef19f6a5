// Child program of the system command tests. Its mode comes from the environment variable
// ORVEL_CHILD_MODE, so that its command line stays free for the command-line test; what it
// received goes to the file named by ORVEL_CHILD_OUT.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "call.h"
#include "runtime/args.h"

using namespace calls;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The command line through the command, into a variable that already holds an array (which
// the command must free and replace).
std::string received_items() {
  std::string_view old[] = {"old", "array"};
  runtime::ResultRecord holder{};
  runtime::set_text_array(&holder, old, 2);
  void* variable = reinterpret_cast<void*>(static_cast<uintptr_t>(holder.lo));
  ArgRecord by_reference{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&variable)), 0,
                         runtime::kTypeText | runtime::kArrayBit};
  call(64, {by_reference});
  ArgRecord array{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(variable)), 0, 0};
  std::string report;
  for (const auto& item : take_array(array, true)) report += "[" + item.value_or("") + "]\n";
  return report;
}

std::string lines_read(bool echo) {
  std::string report;
  for (int i = 0; i < 10; ++i) {
    std::optional<std::string> line = take_text(call(578, {Bool(echo)}));
    if (!line) return report + "<null>\n";
    report += "[" + *line + "]\n";
  }
  return report;
}

// Types `gbk` into this process's console input as key presses; "\r" is the Enter key.
bool type_into_console(const std::string& gbk) {
  std::wstring wide(gbk.size(), L'\0');
  wide.resize(MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(),
                                  static_cast<int>(wide.size())));
  std::vector<INPUT_RECORD> keys;
  for (wchar_t c : wide) {
    for (BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD r{};
      r.EventType = KEY_EVENT;
      r.Event.KeyEvent.bKeyDown = down;
      r.Event.KeyEvent.wRepeatCount = 1;
      r.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
      r.Event.KeyEvent.uChar.UnicodeChar = c;
      keys.push_back(r);
    }
  }
  HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteConsoleInputW(in, keys.data(), static_cast<DWORD>(keys.size()), &written);
  CloseHandle(in);
  return ok && written == keys.size();
}

// The console screen's rows up to the cursor, trailing blanks dropped, as GBK lines.
std::string console_screen() {
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return "<no screen>";
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::string screen;
  if (GetConsoleScreenBufferInfo(out, &info)) {
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
      std::wstring line(info.dwSize.X, L' ');
      DWORD n = 0;
      ReadConsoleOutputCharacterW(out, line.data(), info.dwSize.X, COORD{0, row}, &n);
      line.resize(n);
      while (!line.empty() && line.back() == L' ') line.pop_back();
      std::string gbk(line.size() * 2, '\0');
      gbk.resize(WideCharToMultiByte(936, 0, line.data(), static_cast<int>(line.size()), gbk.data(),
                                     static_cast<int>(gbk.size()), nullptr, nullptr));
      screen += gbk + "\n";
    }
  }
  CloseHandle(out);
  return screen;
}

// A GUI program with a console of its own starts another GUI program (mode `inner`) that holds
// no standard handles, so that the commands must find this console as the parent's.
// Reports the inner program's exit code and report, then the screen.
std::string host_console(const std::string& inner, const std::string& typed) {
  FreeConsole();  // whatever console came from the test, this one is our own
  if (!AllocConsole()) return "<no console: " + std::to_string(GetLastError()) + ">";
  if (!type_into_console(typed)) return "<no input>";
  // The inner program's mode and report go through the process environment it inherits; this
  // program's own report path stays in the C library's copy, read at the end.
  std::string inner_out = environment("ORVEL_CHILD_OUT") + ".inner";
  SetEnvironmentVariableA("ORVEL_CHILD_MODE", inner.c_str());
  SetEnvironmentVariableA("ORVEL_CHILD_OUT", inner_out.c_str());
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string line = std::string("\"") + path + "\"";
  // Standard handle values that the inner program is handed without the handles themselves,
  // as a GUI program may be: values no process holds.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = reinterpret_cast<HANDLE>(0x7ff0);
  startup.hStdOutput = startup.hStdError = reinterpret_cast<HANDLE>(0x7ff4);
  PROCESS_INFORMATION info{};
  DWORD code = 99;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    if (WaitForSingleObject(info.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 98);
    WaitForSingleObject(info.hProcess, 5000);
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  std::ifstream report(inner_out, std::ios::binary);
  std::string inner_report((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  report.close();
  DeleteFileA(inner_out.c_str());
  std::string screen = console_screen();
  FreeConsole();
  return "exit " + std::to_string(code) + "\n" + inner_report + "screen:\n" + screen;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string mode = environment("ORVEL_CHILD_MODE");
  std::string report;
  if (mode == "args") {
    report = received_items();
  } else if (mode == "show") {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    report = std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) + " " +
             std::to_string(startup.wShowWindow);
  } else if (mode == "wait") {
    // Tell the parent who this is, then go on only once it holds a handle to this process.
    {
      std::ofstream(environment("ORVEL_CHILD_OUT"), std::ios::binary)
          << GetCurrentProcessId() << "\n";
    }
    HANDLE watched = OpenEventA(SYNCHRONIZE, FALSE, "orvel_system_child_watched");
    if (!watched || WaitForSingleObject(watched, 20000) != WAIT_OBJECT_0) return 4;
    CloseHandle(watched);
    Sleep(200);  // the parent's command must still be waiting when this ends
    return 7;
  } else if (mode == "hold") {
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "orvel_system_child_release");
    if (!release || WaitForSingleObject(release, 20000) != WAIT_OBJECT_0) return 4;
    CloseHandle(release);
    report = "released";
  } else if (mode == "env") {
    report = take_text(call(67, {Text("ORVEL_CHILD_VALUE")})).value_or("<null>");
  } else if (mode == "stdout") {
    call(577, {Omit(), Int(-12), Text("文本"), Bool(true), Bool(false), Double(2.5),
               Bin("skipped"), Date(41333.5), Long(1234567890123LL), Byte(7), Float(0.25f)});
    call(577, {Int(2), Text("错误输出"), Int(2)});
    call(577, {Int(5), Text("!")});
    call(577, {});
    return 0;
  } else if (mode == "console-host") {
    report = host_console("console-io", "第一行 \r静默\x05\r");
  } else if (mode == "console-io") {
    call(577, {Omit(), Text("控制台"), Int(5)});
    report = "[" + take_text(call(578, {})).value_or("<null>") + "]\n";
    report += "[" + take_text(call(578, {Bool(false)})).value_or("<null>") + "]\n";
    call(577, {Int(2), Text("完")});
  } else if (mode == "stdin-echo" || mode == "stdin-silent") {
    report = lines_read(mode == "stdin-echo");
  } else {
    return 3;
  }
  std::ofstream out(environment("ORVEL_CHILD_OUT"), std::ios::binary);
  out << report;
  return out ? 0 : 5;
}
