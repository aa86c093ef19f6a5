// The run entry: takes the heap, prepares the image and runs its start-up routine.
#include "image/startup.h"
#include "image/prepare.h"
#include "runtime/runtime.h"
#include "image/shutdown.h"
#include "runtime/errors.h"

// The C++ half of the run entry: takes the heap and prepares the image; returns the
// start-up routine.
extern "C" void* orvel_prepare_for_run(uint8_t* working_copy) asm("orvel_prepare_for_run");
void* orvel_prepare_for_run(uint8_t* working_copy) {
  runtime::rt().heap = GetProcessHeap();
  void* start = runtime::guarded([&] { return image::prepare(working_copy); });
  if (!start) image::exit_program(-1);  // a refused library has been reported already
  return start;
}

// int __stdcall orvel_run_entry(uint8_t* working_copy)
//   in:  [esp+4] the header working copy W
//   out: EAX = the start-up routine's EAX when W's flag bit 0 (W + 0x30) is set; the run
//        entry then keeps EBX, ESI, EDI and EBP and removes its argument. With the bit clear
//        it jumps to the routine with the stack as it found it (control passes for good).
asm(R"(
    .intel_syntax noprefix
    .text
    .globl orvel_run_entry
orvel_run_entry:
    push  dword ptr [esp+4]
    call  orvel_prepare_for_run
    add   esp, 4
    mov   ecx, [esp+4]
    test  byte ptr [ecx+0x30], 1
    jz    1f
    push  ebp
    mov   ebp, esp
    push  ebx
    push  esi
    push  edi
    cld
    call  eax
    lea   esp, [ebp-12]
    pop   edi
    pop   esi
    pop   ebx
    pop   ebp
    ret   4
1:
    cld
    jmp   eax
    .att_syntax prefix
)");
