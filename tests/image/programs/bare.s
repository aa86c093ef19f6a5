# Bare: code only, with no constants, variables or service table.
  .text
start:
  movl  $42, %eax
  ret
