// Programs under test: started with CreateProcess, waited for with a bound, killed if left.
#include "kit.h"

namespace kit {

std::string bin_dir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1);
}

Process::Process(const std::string& exe, const std::string& args, const std::string& cwd) {
  std::string line = "\"" + exe + "\"";
  if (!args.empty()) line += " " + args;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &info_))
    info_ = {};
}

Process::~Process() {
  kill();
  if (info_.hThread) CloseHandle(info_.hThread);
  if (info_.hProcess) CloseHandle(info_.hProcess);
}

bool Process::wait(DWORD ms, DWORD* exit_code) {
  if (!info_.hProcess) return false;
  if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return false;
  if (exit_code) GetExitCodeProcess(info_.hProcess, exit_code);
  return true;
}

bool Process::running() const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::kill() {
  if (running()) {
    TerminateProcess(info_.hProcess, 0xDEAD);
    WaitForSingleObject(info_.hProcess, 5000);
  }
}

DWORD run(const std::string& exe, const std::string& args, DWORD ms) {
  Process p(exe, args);
  DWORD code = kStillRunning;
  if (!p.wait(ms, &code)) return kStillRunning;
  return code;
}

}  // namespace kit
