// Run-time errors: the coded messages, the dialog, the error handler routine, then the exit.
#include "runtime/errors.h"
#include <windows.h>
#include "runtime/runtime.h"
#include "runtime/registry.h"
#include "runtime/services.h"

namespace runtime {

namespace {

const char* const kCodedMessages[11] = {
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

volatile bool g_in_handler = false;

// True when the program's error handler routine took the error.
bool handled_by_routine(const char* message, int code) {
  void* routine = runtime::rt().error_handler;
  if (!routine || g_in_handler) return false;
  g_in_handler = true;
  uint32_t args[2] = {static_cast<uint32_t>(code),
                      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(message ? message : ""))};
  CompiledResult r = call_compiled(routine, args, 2);
  g_in_handler = false;
  return r.lo != 0;
}

// The dialog text is built in a fixed buffer: the error path allocates nothing (it may be
// reporting an allocation failure) and leaves nothing with a destructor behind.
char g_text[4096];

void append(size_t& at, const char* s) {
  while (*s && at + 1 < sizeof g_text) g_text[at++] = *s++;
  g_text[at] = 0;
}

const char* build_text(const char* message, int code) {
  size_t at = 0;
  g_text[0] = 0;
  append(at, "运行时出错!\r\n\r\n");
  if (code != 0) {
    char number[16];
    wsprintfA(number, "%d", code);
    append(at, "错误代码：");
    append(at, number);
    append(at, "\r\n\r\n");
  }
  if (message && *message) {
    append(at, "错误信息：");
    append(at, message);
    append(at, "\r\n");
  }
  return g_text;
}

void show_dialog(const char* message, int code) {
  MessageBoxA(nullptr, build_text(message, code), kErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

const char* coded_message(int code) {
  return code >= 1 && code <= 11 ? kCodedMessages[code - 1] : nullptr;
}

std::string error_text(const char* message, int code) { return build_text(message, code); }

bool error_handler_running() { return g_in_handler; }

void raise_error(const char* message, int code) {
  runtime::Runtime& r = runtime::rt();
  ++r.event_hold;
  if (!handled_by_routine(message, code)) show_dialog(message, code);
  // Started by the debugger: stop there. Without one attached the trap would only turn the
  // exit into a crash, so it is skipped.
  if (r.run_mode == 2 && IsDebuggerPresent()) DebugBreak();
  r.finalise_routine = nullptr;
  exit_program(-1);
}

void raise_coded(int code) { raise_error(coded_message(code), code); }

}  // namespace runtime
