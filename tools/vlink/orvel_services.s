# orvel_services.s: the service entries as C functions, for programs written in C (orvel.h).
# vlink links it in when a C source uses one of its names. The service table and its stubs
# come from orvel.inc; a program's assembly sources that include orvel.inc share the same
# table (every object's .help is the image's one table).
  .include "orvel.inc"

# C-convention services: the stubs themselves, made visible to C.
  .globl orv_report_error, orv_read_property, orv_write_property, orv_allocate, orv_resize
  .globl orv_free, orv_exit, orv_message_loop, orv_load_startup

# The DLL command service: EAX = the command's index, set by the stubs that ORV_DLL_COMMAND
# writes; the DLL function gets the caller's stack.
  .globl orv_call_dll

# The further services, one C function each: EAX = the function number.
  .text
  .globl orv_find_next_file, orv_end_search, orv_make_writable, orv_set_finalise
  .globl orv_read_object, orv_write_object
orv_find_next_file: movl $0, %eax
                    jmp orv_further
orv_end_search:     movl $1, %eax
                    jmp orv_further
orv_make_writable:  movl $2, %eax
                    jmp orv_further
orv_set_finalise:   movl $3, %eax
                    jmp orv_further
orv_read_object:    movl $4, %eax
                    jmp orv_further
orv_write_object:   movl $5, %eax
                    jmp orv_further

# orv__call_core(result, selector, count, records): the records are copied onto the stack
# behind the count, EBX = selector; EAX, EDX, ECX go to *result. A negative count is 0.
  .globl orv__call_core
orv__call_core:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 16(%ebp), %ecx
  movl 20(%ebp), %esi
  call copy_records
  movl 12(%ebp), %ebx
  call orv_call_core
  jmp store_result

# orv__call_library(result, library, selector, count, records): the same with EAX = library.
  .globl orv__call_library
orv__call_library:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 20(%ebp), %ecx
  movl 24(%ebp), %esi
  call copy_records
  movl 12(%ebp), %eax
  movl 16(%ebp), %ebx
  call orv_call_library
  jmp store_result

# ECX = count, ESI = records: leaves {count, records...} on the caller's stack (below its
# return address, which moves down with them).
copy_records:
  popl %edx                    # own return address
  testl %ecx, %ecx
  jns 1f
  xorl %ecx, %ecx
1:
  movl %ecx, %eax
  leal (%ecx,%ecx,2), %ecx     # three words a record
  shll $2, %ecx
  subl %ecx, %esp
  shrl $2, %ecx
  movl %esp, %edi
  cld
  rep movsl
  pushl %eax                   # the count
  jmp *%edx

store_result:
  movl 8(%ebp), %edi
  movl %eax, (%edi)
  movl %edx, 4(%edi)
  movl %ecx, 8(%edi)
  leal -12(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
