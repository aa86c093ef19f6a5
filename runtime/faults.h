// Hardware exceptions (access violation, illegal instruction, division by zero, ...) raised
// while compiled code runs: the runtime's exception handler, which the calls into compiled
// code and the start-up frame register, turns them into run-time errors.
#pragma once
#include <windows.h>
#include <cstdint>

namespace runtime {

// Whether an exception code is a fault the runtime reports (error severity). Breakpoints,
// debug output and software exceptions of other languages pass on.
bool is_fault(DWORD code);
// The error message of a fault: "程序执行出错：异常 0xC0000005，位于映像偏移 0x7D78", or with
// "位于地址" and the absolute address when the address lies in no image. Built in a fixed
// buffer without allocating (the fault may come from a broken heap); valid until the next call.
const char* fault_text(DWORD code, const void* address);

}  // namespace runtime

// The exception handler of the runtime's frames (registered in fs:[0] by assembly).
extern "C" EXCEPTION_DISPOSITION __cdecl orvel_fault_handler(EXCEPTION_RECORD* record, void* frame,
                                                             CONTEXT* context, void* dispatch)
    asm("orvel_fault_handler");
