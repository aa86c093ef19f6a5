// Run-time errors: the coded messages, the dialog, the error handler routine, then the exit.
#include "runtime/errors.h"
#include <windows.h>
#include "image/runtime.h"
#include "image/shutdown.h"
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
  void* routine = image::rt().error_handler;
  if (!routine || g_in_handler) return false;
  g_in_handler = true;
  uint32_t args[2] = {static_cast<uint32_t>(code),
                      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(message ? message : ""))};
  CompiledResult r = call_compiled(routine, args, 2);
  g_in_handler = false;
  return r.lo != 0;
}

// Kept out of raise_error's frame: nothing with a destructor may live where the exit jumps
// over it.
void show_dialog(const char* message, int code) {
  std::string text = error_text(message, code);
  MessageBoxA(nullptr, text.c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

const char* coded_message(int code) {
  return code >= 1 && code <= 11 ? kCodedMessages[code - 1] : nullptr;
}

std::string error_text(const char* message, int code) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (message && *message) text += std::string("错误信息：") + message + "\r\n";
  return text;
}

bool error_handler_running() { return g_in_handler; }

void raise_error(const char* message, int code) {
  image::Runtime& r = image::rt();
  ++r.event_hold;
  if (!handled_by_routine(message, code)) show_dialog(message, code);
  // Started by the debugger: stop there. Without one attached the trap would only turn the
  // exit into a crash, so it is skipped.
  if (r.run_mode == 2 && IsDebuggerPresent()) DebugBreak();
  r.finalise_routine = nullptr;
  image::exit_program(-1);
}

void raise_coded(int code) { raise_error(coded_message(code), code); }

}  // namespace runtime
