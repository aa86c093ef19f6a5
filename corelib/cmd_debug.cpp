// Debug commands: debug output, pause and check, and the two commands that only report that
// they are not supported.
//
// Pause and a failed check stop at a breakpoint only when a debugger is attached. Without
// one a breakpoint trap would end the program (nobody handles it), so the command sends its
// text to the debugger output and the program runs on.
#include <windows.h>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/errors.h"

namespace corelib {

using namespace runtime;

namespace {

// The kinds debug output and the message box show: numbers, texts, logicals, date-times.
bool shown_kind(uint32_t type) {
  return is_numeric(type) || type == kTypeText || type == kTypeBool || type == kTypeDateTime;
}

void debug_text(const std::string& text) { OutputDebugStringA(text.c_str()); }

void stop_for_debugger(const char* text) {
  debug_text(text);
  if (IsDebuggerPresent()) DebugBreak();
}

}  // namespace

std::string shown_text(const ArgRecord& value) {
  Arg a(value);
  return shown_kind(a.type()) ? text_of_value(a.record()) : std::string();
}

CORELIB_COMMAND(reference_unsupported) {
  runtime::raise_error("“参考”命令已不再支持", 0);
}

CORELIB_COMMAND(routine_address_unsupported) {
  runtime::raise_error("“取子程序地址”命令不被支持", 0);
}

CORELIB_COMMAND(debug_output) {
  for (int i = 0; i < argc; ++i) debug_text("* " + shown_text(args[i]));
}

CORELIB_COMMAND(pause_program) { stop_for_debugger("* 程序执行被“暂停”命令所中断 *"); }

CORELIB_COMMAND(check_condition) {
  Arg condition(arg_at(argc, args, 0));
  if (condition.record().lo == 0) stop_for_debugger("* 执行“检查”命令时不能满足检查条件 *");
}

}  // namespace corelib
