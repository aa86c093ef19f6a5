# The timer's handler, in assembly beside the C sources: notes its first tick through the C
# function note_int and stops the timer. Shares the service table with the C objects.
  .include "orvel.inc"

  .section .rdata,"dr"
k_tick: .asciz "tick_event"

  .text
  .globl on_tick
on_tick:
  pushl $1
  pushl $k_tick
  call _note_int
  addl $8, %esp
  pushl $0                     # interval 0: stop
  pushl $0
  pushl $-1
  pushl $8
  orv_push id, 0x16010004
  orv_push id, 0x52010001
  call orv_write_property
  addl $24, %esp
  ret
