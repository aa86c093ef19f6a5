// Faults inside compiled code end as run-time errors: the dialog names the exception code and
// the offset in the image, which lies in the program's code section, and the exit code is -1.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <fstream>
#include <string>
#include "kit.h"
#include "runtime/errors.h"

namespace {

struct Range {
  uint32_t begin = 0, end = 0;
};

// The code section's data, as offsets from the working place, from the program's dump.
Range code_range() {
  std::ifstream in(kit::bin_dir() + "fault_prog.dump");
  std::string line;
  Range r;
  while (std::getline(in, line)) {
    unsigned record, flags, memory, stored, data;
    if (std::sscanf(line.c_str(), "#   code at 0x%X: flags 0x%X, memory %u, stored %u, data at 0x%X",
                    &record, &flags, &memory, &stored, &data) == 5)
      r = {data, data + memory};
  }
  return r;
}

}  // namespace

TEST(Faults, InCompiledCodeBecomeRunTimeErrors) {
  Range code = code_range();
  ASSERT_LT(code.begin, code.end) << "fault_prog.dump names the code section";
  struct Case { int mode; DWORD exception; const char* where; } cases[] = {
      {1, 0xC0000094, "start-up routine, division by zero"},
      {2, 0xC0000005, "start-up routine, read of address 0"},
      {3, 0xC000001D, "start-up routine, illegal instruction"},
      {4, 0xC0000005, "timer handler, read of address 0"},
      {5, 0xC0000094, "timer handler, division by zero"},
      {6, 0xC0000005, "button click handler, read of address 0"},
      {7, 0xC0000094, "sub-statement evaluated by a command, division by zero"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    SetEnvironmentVariableA("ORVEL_MODE", std::to_string(c.mode).c_str());
    kit::Process p(kit::bin_dir() + "fault_prog.exe");
    ASSERT_TRUE(p.started());
    kit::DialogWatcher watcher(p.pid());
    if (c.mode == 6) {
      HWND w = kit::drive::find_window(p.pid(), "出错测试");
      ASSERT_TRUE(w);
      HWND button = kit::drive::find_child(w, "", "点我");
      ASSERT_TRUE(button);
      kit::drive::post(button, BM_CLICK);
    }
    EXPECT_TRUE(watcher.wait_for(1, 15000));
    DWORD exit_code = kit::kStillRunning;
    p.wait(15000, &exit_code);
    EXPECT_EQ(exit_code, 0xFFFFFFFFu);
    auto seen = watcher.seen();
    ASSERT_EQ(seen.size(), 1u);
    char head[96];
    std::snprintf(head, sizeof head, "程序执行出错：异常 0x%08X，位于映像偏移 0x", static_cast<unsigned>(c.exception));
    std::string prefix = runtime::error_text(head, 0);
    prefix.resize(prefix.size() - 2);  // the text ends with a line break after the message
    const std::string& text = seen[0].text;
    ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    unsigned offset = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + prefix.size(), "%X", &offset), 1) << text;
    EXPECT_GE(offset, code.begin) << text;
    EXPECT_LT(offset, code.end) << text;
  }
}
