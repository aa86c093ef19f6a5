// Probe for the fatal value paths: the mode named on the command line raises its run-time error.
#include <windows.h>
#include <cstring>
#include "runtime/runtime.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

using namespace runtime;

namespace {

// Sub-statement routine: value 0, type = the context word (EAX in, ECX out).
extern "C" void probe_typed() asm("probe_typed");
asm(R"(
    .text
probe_typed:
    movl  %eax, %ecx
    xorl  %eax, %eax
    xorl  %edx, %edx
    ret
)");

ArgRecord substmt_returning(uint32_t type) {
  return {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&probe_typed)), type, kTypeSubStmt};
}

const char kConstant[] = "constant";

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  // A small fixed heap, so that a request of 1000000 bytes really fails.
  runtime::rt().heap = HeapCreate(0, 0x10000, 0x10000);
  runtime::rt().const_ranges.push_back({reinterpret_cast<const uint8_t*>(kConstant),
                                      reinterpret_cast<const uint8_t*>(kConstant) + sizeof kConstant});
  const char* mode = command_line;
  if (!std::strcmp(mode, "alloc")) allocate(1000000);
  if (!std::strcmp(mode, "resize")) resize(allocate(16), 1000000);
  if (!std::strcmp(mode, "resize-constant")) resize(const_cast<char*>(kConstant), 1000000);
  if (!std::strcmp(mode, "read-omitted")) read_int({0, 0, 0});
  if (!std::strcmp(mode, "read-text")) read_int({0, 0, kTypeText});
  if (!std::strcmp(mode, "substmt-none")) evaluate_substmt(substmt_returning(0));
  if (!std::strcmp(mode, "substmt-library")) evaluate_substmt(substmt_returning(0x00010001));
  if (!std::strcmp(mode, "condition-int")) evaluate_condition(substmt_returning(kTypeInt));
  return 3;  // no mode matched, or a fatal path returned
}
