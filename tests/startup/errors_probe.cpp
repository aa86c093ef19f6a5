// Probe for the run-time error path and its error handler routine, set through the runtime's
// internal entry. The mode on the command line decides what the handler does; the handler
// and the finalisation routine write what they see to the file named by ORVEL_MARKS.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "runtime/runtime.h"
#include "image/startup.h"
#include "runtime/errors.h"

namespace {

const char* g_mode = "";

void note(const char* text) {
  char path[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("ORVEL_MARKS", path, sizeof path)) return;
  if (FILE* f = std::fopen(path, "ab")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

// The error handler routine: (code, message), removes its arguments, EAX = handled.
int __stdcall handler(int code, const char* message) {
  char line[600];
  std::snprintf(line, sizeof line, "handler %d %s\n", code, message);
  note(line);
  if (!std::strcmp(g_mode, "nested")) runtime::raise_error("第二个错误", 0);
  return !std::strcmp(g_mode, "handled");
}

void finalise() { note("finalised\n"); }

// Runs inside the start-up frame: sets up and raises.
int __stdcall run(void*) {
  image::install_lifecycle();  // as the program's start does: errors end through the frame
  runtime::Runtime& r = runtime::rt();
  r.main_thread = GetCurrentThreadId();
  r.heap = GetProcessHeap();
  r.finalise_routine = reinterpret_cast<void*>(&finalise);
  if (std::strcmp(g_mode, "plain")) r.set_error_handler(reinterpret_cast<void*>(&handler));
  runtime::raise_error("测试错误", 3);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  g_mode = command_line;
  int code = image::enter_frame(reinterpret_cast<void*>(&run), nullptr);
  char line[64];
  std::snprintf(line, sizeof line, "frame %d\n", code);
  note(line);
  return code;
}
