// Run-time errors. Minimal form until start-up and shutdown exist: show the dialog, end with -1.
#include "runtime/errors.h"
#include <windows.h>
#include <string>

namespace runtime {

[[noreturn]] void raise_error(const char* message, int code) {
  std::string text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (message && *message) text += std::string("错误信息：") + message + "\r\n";
  MessageBoxA(nullptr, text.c_str(), "错误", MB_OK | MB_ICONERROR);
  ExitProcess(static_cast<UINT>(-1));
}

}  // namespace runtime
