// Library test programs started with LIBTEST_LOG naming a fresh log file, read afterwards.
#pragma once
#include <windows.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include "kit.h"

namespace libtest {

inline std::string dir() { return kit::bin_dir() + "libraries\\"; }

// Starts a program with LIBTEST_LOG naming a fresh log file; the log is read afterwards.
class LoggedRun {
 public:
  LoggedRun(const std::string& exe, const std::string& args = "", const std::string& cwd = "")
      : log_(dir() + "log_" + std::to_string(GetCurrentProcessId()) + ".txt") {
    DeleteFileA(log_.c_str());
    SetEnvironmentVariableA("LIBTEST_LOG", log_.c_str());
    process_ = std::make_unique<kit::Process>(exe, args, cwd);
    SetEnvironmentVariableA("LIBTEST_LOG", nullptr);
  }
  ~LoggedRun() {
    process_.reset();
    DeleteFileA(log_.c_str());
  }
  kit::Process& process() { return *process_; }
  DWORD exit_code(DWORD ms = 20000) {
    DWORD code = kit::kStillRunning;
    process_->wait(ms, &code);
    return code;
  }
  std::string log() const {
    std::ifstream f(log_, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  std::string log_;
  std::unique_ptr<kit::Process> process_;
};

}  // namespace libtest
