# Test program started by the debugger (run mode 2): sends the program directory, as the
# runtime holds it, to the debugger output.
  .include "orvel.inc"
  .text
  .globl start
start:
  pushl $0
  orv_mov lib, 1, %eax
  movl $0, %ebx                # command 0 of the test library: the program directory
  call orv_call_library
  addl $4, %esp
  movl %eax, %esi
  pushl %esi
  orv_mov dll, 0, %eax         # OutputDebugStringA
  call orv_call_dll
  pushl %esi
  call orv_free
  addl $4, %esp
  pushl $0
  call orv_exit
