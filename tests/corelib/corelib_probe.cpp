// Probe for the commands' run-time errors: the mode named on the command line calls a command
// (through the slot-3 service entry) that must raise its error and end the program.
#include <windows.h>
#include <cstring>
#include "call.h"

using namespace calls;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  const char* mode = command_line;
  if (!std::strcmp(mode, "divide")) call(17, {Double(10), Double(2), Double(0)});
  if (!std::strcmp(mode, "remainder")) call(18, {Double(10), Int(0)});
  if (!std::strcmp(mode, "bin-kind-0")) call(103, {Bin("abcd"), Int(0)});
  if (!std::strcmp(mode, "bin-kind-11")) call(103, {Bin("abcd"), Int(11)});
  if (!std::strcmp(mode, "reference")) call(54, {Int(1)});
  if (!std::strcmp(mode, "routine-address")) call(207, {});
  if (!std::strcmp(mode, "event-source")) call(209, {});
  if (!std::strcmp(mode, "find-by-tag")) call(428, {Int(0x52010001), Int(0)});  // no window loaded
  if (!std::strcmp(mode, "debug")) {  // debug output of each kind, pause, check false and true
    call(197, {Int(42), Text("文字"), Bool(true), Bin("ab"), Double(1.5)});
    call(198, {});
    call(199, {Bool(false)});
    call(199, {Bool(true)});
  }
  return 3;  // no mode matched, or an error path returned
}
