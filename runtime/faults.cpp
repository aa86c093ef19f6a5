// Faults in compiled code become run-time errors: a program that faults in an event handler
// must not end as if it had been closed normally (exit code 0), as it does when the fault is
// lost in a window-procedure callback.
#include "runtime/faults.h"
#include "runtime/errors.h"
#include "runtime/registry.h"

namespace runtime {

namespace {

char g_message[128];

}  // namespace

bool is_fault(DWORD code) { return (code & 0xF0000000u) == 0xC0000000u; }

const char* fault_text(DWORD code, const void* address) {
  uint32_t offset = 0;
  auto in_image = lifecycle().image_offset;
  if (in_image && in_image(address, &offset))
    wsprintfA(g_message, "程序执行出错：异常 0x%08X，位于映像偏移 0x%X", code, offset);
  else
    wsprintfA(g_message, "程序执行出错：异常 0x%08X，位于地址 0x%08X", code,
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
  return g_message;
}

}  // namespace runtime

EXCEPTION_DISPOSITION orvel_fault_handler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (!record || (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) ||
      !runtime::is_fault(record->ExceptionCode))
    return ExceptionContinueSearch;
  // Reported from inside the dispatch: the exit returns to the start-up frame, which puts the
  // exception chain back as it was, so the frames in between are simply left.
  runtime::raise_error(runtime::fault_text(record->ExceptionCode, record->ExceptionAddress), 0);
}
