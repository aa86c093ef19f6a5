// Run-time errors: the one way a fatal failure is reported. Never returns.
#pragma once
#include <new>
#include <string>

namespace runtime {

// Raises the run-time error (message may be null or empty; code 0 = no code): the error
// handler routine may suppress the dialog; the program always ends with exit code -1.
[[noreturn]] void raise_error(const char* message, int code);
// Raises error code 1..11 with its fixed message (service slot 0); another code is raised
// with no message.
[[noreturn]] void raise_coded(int code);
// The fixed message of a code 1..11, or null.
const char* coded_message(int code);
// The dialog text of an error.
std::string error_text(const char* message, int code);
// Whether the error handler routine is running (a nested error then skips it).
bool error_handler_running();

inline constexpr char kErrorCaption[] = "错误";

// Runs `fn` for a caller outside C++ (compiled code, an assembly entry): a C++ exception that
// would leave it becomes a run-time error instead.
template <class F>
auto guarded(F fn) -> decltype(fn()) {
  const char* failure;
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    failure = "内存不足，无法完成运行时服务!";
  } catch (...) {
    failure = "运行时服务未能完成!";
  }
  raise_error(failure, 0);
}

}  // namespace runtime
