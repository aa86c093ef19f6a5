// A small debugger for programs started in run mode 2: runs the program under debugging,
// continues past every breakpoint trap, and writes what it saw to a report file:
//   breakpoints N        traps seen after the loader's own
//   debug TEXT           one line per debugger output text of the program
// The program's process id is written to REPORT.pid as soon as it runs.
// usage: testdbg REPORT PROGRAM [ARGUMENTS]; exits with the program's exit code.
#include <windows.h>
#include <cstdio>
#include <string>

namespace {

std::string read_remote_text(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T got = 0;
  ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &got);
  text.resize(got);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// Steps over a trap instruction when the thread still points at it.
void skip_trap(DWORD thread_id, HANDLE process, void* address) {
  HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, thread_id);
  if (!thread) return;
  CONTEXT c{};
  c.ContextFlags = CONTEXT_CONTROL;
  unsigned char byte = 0;
  SIZE_T got = 0;
  if (GetThreadContext(thread, &c) && c.Eip == reinterpret_cast<DWORD>(address) &&
      ReadProcessMemory(process, address, &byte, 1, &got) && byte == 0xCC) {
    ++c.Eip;
    SetThreadContext(thread, &c);
  }
  CloseHandle(thread);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: testdbg REPORT PROGRAM [ARGUMENTS]\n");
    return 2;
  }
  std::string command = std::string("\"") + argv[2] + "\"";
  for (int i = 3; i < argc; ++i) command += std::string(" ") + argv[i];
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &si, &pi))
    return 3;
  if (FILE* f = std::fopen((std::string(argv[1]) + ".pid").c_str(), "wb")) {
    std::fprintf(f, "%lu", pi.dwProcessId);
    std::fclose(f);
  }
  std::string report;
  int traps = 0;
  bool loader_trap_seen = false;
  DWORD exit_code = 0;
  for (bool running = true; running;) {
    DEBUG_EVENT e;
    if (!WaitForDebugEvent(&e, 30000)) {
      TerminateProcess(pi.hProcess, 4);
      exit_code = 4;
      break;
    }
    DWORD status = DBG_CONTINUE;
    switch (e.dwDebugEventCode) {
      case EXCEPTION_DEBUG_EVENT:
        if (e.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          if (loader_trap_seen) {
            ++traps;
            skip_trap(e.dwThreadId, pi.hProcess, e.u.Exception.ExceptionRecord.ExceptionAddress);
          }
          loader_trap_seen = true;
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        report += "debug " + read_remote_text(pi.hProcess, e.u.DebugString) + "\n";
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (e.u.CreateProcessInfo.hFile) CloseHandle(e.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (e.u.LoadDll.hFile) CloseHandle(e.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exit_code = e.u.ExitProcess.dwExitCode;
        running = false;
        break;
    }
    ContinueDebugEvent(e.dwProcessId, e.dwThreadId, status);
  }
  report = "breakpoints " + std::to_string(traps) + "\n" + report;
  if (FILE* f = std::fopen(argv[1], "wb")) {
    std::fwrite(report.data(), 1, report.size(), f);
    std::fclose(f);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(exit_code);
}
