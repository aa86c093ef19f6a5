// Child program of the system command tests. Its mode comes from the environment variable
// ORVEL_CHILD_MODE, so that its command line stays free for the command-line test; what it
// received goes to the file named by ORVEL_CHILD_OUT.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
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
    Sleep(300);  // the parent must still be waiting when this ends
    report = "done";
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
  } else if (mode == "stdin-echo" || mode == "stdin-silent") {
    report = lines_read(mode == "stdin-echo");
  } else {
    return 3;
  }
  std::ofstream out(environment("ORVEL_CHILD_OUT"), std::ios::binary);
  out << report;
  return out ? 0 : 5;
}
