# Library test program: calls command 0 of library 1 with one Int argument 7 and exits with
# the result. `start` first asks the probe DLL command whether a test library is loaded yet
# (exit 77 when one is); `start_direct` calls at once; `start_type` looks a library data type
# up through command 1; `start_nocall` exits 0 without a call.
  .include "orvel.inc"

  .text
  .globl start, start_direct, start_type, start_nocall
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

# Command 1 of library 1 with the data type code of type 1 of library 2: the unit type lookup
# loads library 2 on demand.
start_type:
  cld
  finit
  orv_mov dll, 0, %eax
  call orv_call_dll            # no_library_loaded
  testl %eax, %eax
  jnz 1f
  pushl $77
  call orv_exit
1:
  pushl $0x80000301            # Int: (library 2 + 1) << 16 | type 1
  pushl $0
  orv_push typ, 0x00030001
  pushl $1
  orv_mov lib, 1, %eax
  movl $4, %ebx                # command 1
  call orv_call_library
  addl $16, %esp
  pushl %eax
  call orv_exit

start_nocall:
  pushl $0
  call orv_exit
