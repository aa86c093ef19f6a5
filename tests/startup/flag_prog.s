# Test program with header flag bit 0: the start-up routine's result is the run entry's.
  .include "orvel.inc"
  .text
  .globl start
start:
  pushl $16
  call orv_allocate            # the services are bound
  addl $4, %esp
  pushl %eax
  call orv_free
  addl $4, %esp
  movl $42, %eax
  ret
