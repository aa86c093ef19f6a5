// Probe for the commands' run-time errors: the mode named on the command line calls a command
// (through the slot-3 service entry) that must raise its error and end the program.
#include <windows.h>
#include <cstring>
#include <string>
#include "call.h"

using namespace calls;

namespace {

// The condition of the "db-raise" mode: true for every record until the 20th, where it calls a
// command that raises its run-time error in the middle of the modify command's scan.
int g_records_seen = 0;
extern "C" uint32_t __cdecl probe_condition() asm("probe_condition");
uint32_t __cdecl probe_condition() {
  if (++g_records_seen == 20) call(54, {});
  return 1;
}
extern "C" void probe_condition_substmt() asm("probe_condition_substmt");
asm(R"(
    .text
probe_condition_substmt:
    call  probe_condition
    movl  $0x80000002, %ecx
    xorl  %edx, %edx
    ret
)");

// Makes a database of 50 records with an index on "n" in folder `dir`, then modifies "n" of
// every record under a condition that raises at the 20th.
void database_raise(const char* dir) {
  std::string base = std::string(dir) + "\\表";
  uint32_t field[3] = {reinterpret_cast<uint32_t>("n"), 3, 0};
  uint32_t defs[3] = {1, 1, reinterpret_cast<uint32_t>(field)};
  call(339, {Text(base), ArgRecord{reinterpret_cast<uint32_t>(defs), 0, 0x20010022u}});
  call(340, {Text(base)});
  call(355, {Text(base + "_n"), Int(0), Int(0), Int(1), Text("n")});
  for (int i = 0; i < 50; ++i) call(383, {Int(i)});
  ArgRecord condition{reinterpret_cast<uint32_t>(&probe_condition_substmt), 0, 0x80000008u};
  call(385, {condition, Text("n"), Int(1000)});
}

}  // namespace

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
  if (!std::strncmp(mode, "db-raise ", 9)) database_raise(mode + 9);  // the folder follows
  return 3;  // no mode matched, or an error path returned
}
