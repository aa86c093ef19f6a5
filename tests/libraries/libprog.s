# Library test program: calls command 0 of library 1 with one Int argument 7 and exits with
# the result. `start` first asks the probe DLL command whether a test library is loaded yet
# (exit 77 when one is); `start_direct` calls at once; `start_nocall` exits 0 without a call.
  .include "orvel.inc"

  .text
  .globl start, start_direct, start_nocall
start:
  cld
  finit
  orv_mov dll, 0, %eax
  call orv_call_dll            # no_library_loaded
  testl %eax, %eax
  jnz start_direct
  pushl $77
  call orv_exit

start_direct:
  cld
  finit
  pushl $0x80000301            # one argument record: Int 7
  pushl $0
  pushl $7
  pushl $1
  orv_mov lib, 1, %eax
  movl $0, %ebx                # command 0
  call orv_call_library
  addl $16, %esp
  pushl %eax
  call orv_exit

start_nocall:
  pushl $0
  call orv_exit
