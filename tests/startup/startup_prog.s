# Test program for start-up, exits, errors, DLL commands and dispatch. The DLL command
# test_mode picks what the start-up routine does (environment variable ORVEL_MODE).
  .include "orvel.inc"

  .section .rdata,"dr"
path_join:  .asciz "flag_prog.exe"

  .text
# Calls DLL command INDEX (its arguments already pushed).
.macro dll index
  orv_mov dll, \index, %eax
  call orv_call_dll
.endm

  .globl start
start:
  cld
  finit
  pushl $finalise
  movl $3, %eax                # further service 3: set the finalisation routine
  call orv_further
  addl $4, %esp
  dll 0                        # test_mode
  cmpl $18, %eax
  jae bad_mode
  jmp *modes(,%eax,4)

  .section .rdata,"dr"
  .p2align 2
modes:
  .long bad_mode, m_exit_zero, m_nested_exit, m_coded_error, m_code0_error, m_alloc_fail
  .long m_stack, m_missing_file_export, m_missing_export, m_probe_core, m_fixed_slots
  .long m_thread_exit, m_join, m_library, m_empty_slot, m_bad_further
  .long m_missing_library, m_icons

  .text
bad_mode:
  pushl $90
  call orv_exit

# The finalisation routine: marks F.
finalise:
  pushl $70           # F
  dll 1
  ret

m_exit_zero:
  pushl $0
  call orv_message_loop        # no window: returns at once
  addl $4, %esp
  pushl $0
  call orv_exit

# Exit from three levels down, through a DLL command that calls back into compiled code.
m_nested_exit:
  pushl $5
  pushl $level1
  dll 2                        # call_back(level1, 5)
  pushl $88                    # X, never reached
  dll 1
  pushl $99
  call orv_exit
level1:                        # (code) stdcall
  pushl 4(%esp)
  call level2
  ret $4
level2:
  pushl 4(%esp)
  call orv_exit                # exit(code) from inside the call-back
  ret $4

m_coded_error:
  pushl $4
  call orv_report_error

m_code0_error:
  orv_push id, 0x52010001
  call orv_load_startup        # no such window: "载入启动窗口失败"

m_alloc_fail:
  dll 6                        # exhaust the address space
  pushl $1000000
  call orv_allocate
  pushl $97
  call orv_exit

# stdcall and cdecl DLL functions, an ordinal, a system library function; exit 0 when all
# hold, else the number of the failed check.
m_stack:
  movl %esp, %esi
  pushl $2
  pushl $3
  dll 3                        # add_std removes its arguments
  movl $11, %ebx
  cmpl %esp, %esi
  jne fail
  cmpl $5, %eax
  jne fail
  pushl $4
  pushl $5
  dll 4                        # add_cdecl: the caller removes them
  addl $8, %esp
  movl $12, %ebx
  cmpl %esp, %esi
  jne fail
  cmpl $9, %eax
  jne fail
  dll 5                        # "#12"
  movl $13, %ebx
  cmpl $12, %eax
  jne fail
  cmpl %esp, %esi
  jne fail
  dll 10                       # GetTickCount from the system libraries
  movl $14, %ebx
  testl %eax, %eax
  je fail
  cmpl %esp, %esi
  jne fail
  pushl $0
  call orv_exit
fail:
  pushl %ebx
  call orv_exit

m_missing_file_export:
  dll 11
m_missing_export:
  dll 12

m_probe_core:
  dll 7
  pushl %eax
  call orv_exit

# The fixed-result core slots, each called with one omitted argument: bit i of the exit code
# is the result of the i-th slot; 255 when a high word or type word is not 0.
m_fixed_slots:
  xorl %edi, %edi
  movl $fixed_slots, %esi
1:
  movl (%esi), %ebx
  testl %ebx, %ebx
  jz 2f
  pushl $0
  pushl $0
  pushl $0
  pushl $1
  call orv_call_core
  addl $16, %esp
  orl %ecx, %edx
  jnz 3f
  shll $1, %edi
  orl %eax, %edi
  addl $4, %esi
  jmp 1b
2:
  pushl %edi
  call orv_exit
3:
  pushl $255
  call orv_exit

  .section .rdata,"dr"
  .p2align 2
fixed_slots:                   # selectors (slot x 4)
  .long 556*4, 557*4, 208*4, 335*4, 558*4, 620*4, 336*4, 572*4, 0

  .text
m_thread_exit:
  pushl $23
  pushl orv_help+36            # the exit service
  dll 8
  pushl $98
  call orv_exit

m_join:
  pushl $path_join
  dll 9
  pushl %eax
  call orv_exit

# Command 1 of library 1, recorded but not loaded until this call: 1 argument, Int 7.
m_library:
  pushl $0x80000301
  pushl $0
  pushl $7
  pushl $1
  orv_mov lib, 1, %eax
  movl $4, %ebx
  call orv_call_library
  addl $16, %esp
  pushl %eax
  call orv_exit

# An empty slot of the core table: a run-time error, not a call through a null entry.
m_empty_slot:
  pushl $0
  movl $148*4, %ebx
  call orv_call_core
  pushl $96
  call orv_exit

# A further-service number outside 0..5: a run-time error.
m_bad_further:
  movl $6, %eax
  call orv_further
  pushl $95
  call orv_exit

# Library 2 is recorded but its file does not exist: its first command call reports it.
m_missing_library:
  pushl $0
  orv_mov lib, 2, %eax
  movl $0, %ebx
  call orv_call_library
  pushl $94
  call orv_exit

# The program icons (resource 0x81) through the test library's command 2.
m_icons:
  pushl $0
  orv_mov lib, 1, %eax
  movl $2*4, %ebx
  call orv_call_library
  addl $4, %esp
  pushl %eax
  call orv_exit
