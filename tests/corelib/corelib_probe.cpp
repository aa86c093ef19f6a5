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
  return 3;  // no mode matched, or an error path returned
}
