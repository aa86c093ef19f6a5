# Test program started by the debugger (run mode 2) that raises error code 4: after its
# dialog the run-time error stops in the debugger once more.
  .include "orvel.inc"
  .text
  .globl start
start:
  pushl $4
  call orv_report_error
