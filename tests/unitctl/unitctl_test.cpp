// Windows and units at run time, from a running program written in C (unitctl.c): each
// answer it noted is compared here.
#include <gtest/gtest.h>
#include <windows.h>
#include <fstream>
#include <sstream>
#include <string>
#include "kit.h"

TEST(UnitsAtRunTime, FindByTagExistsLoadMessagesAndEventSource) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  std::string marks = std::string(dir) + "unitctl_marks.txt";
  DeleteFileA(marks.c_str());
  SetEnvironmentVariableA("ORVEL_MARKS", marks.c_str());
  kit::Ending e = kit::run_to_end(kit::bin_dir() + "unitctl.exe");
  EXPECT_EQ(e.exit_code, 5u) << "the click handler closed the window and the loop ended";
  EXPECT_TRUE(e.dialogs.empty());
  std::ifstream in(marks, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(),
            "tag_7=52010001 16010002 0001000a\n"
            "tag_0=52010001 16010003 0001000b\n"    // "abc" reads as 0, before the edit box
            "tag_12=52010001 16010004 00010005\n"   // "12x" reads as 12
            "label_exists=1\n"
            "main_exists=1\n"
            "second_exists_before=0\n"
            "second_label_before=0\n"
            "load_missing=0\n"
            "load_second=1\n"
            "second_label_after=1\n"
            "second_tag_5=52010002 16020002 0001000a\n"
            "edit_length=6\n"
            "second_after_post=1\n"
            "second_after_events=0\n"
            "send_to_closed=0\n"
            "event_source=52010001 16010003 0001000b\n");
}
