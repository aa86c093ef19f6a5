# Mixed: an image that uses every kind of marked operand, for preparation and renumbering
# checks. Its routines only return the operands they hold; nothing here runs a window.
  .include "orvel.inc"

  .text
# Returns the identifier of the second window (an operand of table 1).
second_window:
  orv_mov id, 0x52010005, %eax
  ret

# Returns the identifier of the second window's button.
second_button:
  orv_mov id, 0x16010007, %eax
  ret

# Returns DLL command index 1 (table 2).
tick_command:
  orv_mov dll, 1, %eax
  ret

# Returns library numbers 0 and 1 in EAX and EDX (table 3; 0 stays 0 when shifted).
library_numbers:
  orv_mov lib, 0, %eax
  orv_mov lib, 1, %edx
  ret

# Returns type codes in EAX, EDX, ECX: a core type, a library type, an array of a library
# type (table 4; codes of the core library stay).
type_codes:
  orv_mov typ, 0x00010001, %eax
  orv_mov typ, 0x00020003, %edx
  orv_mov typ, 0x20030002, %ecx
  ret

# Returns the address of the first constant word.
first_constant:
  movl  $numbers, %eax
  ret

start:
  ret

  .section .rdata,"dr"
numbers:
  .long 10, 20, 30
  .long start                         # an address of code kept in constant data
