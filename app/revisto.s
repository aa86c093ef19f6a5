# Revisto: reloads a web page every n seconds, counts the reloads and can end itself once the
# count passes a target. The window template and the header fields are in revisto.orv.
#
# Handlers keep EBX, ESI, EDI and EBP, remove their own arguments, and return nothing
# (ECX = 0 on return). Every text a property read or a command returns is freed right after
# use, and only when it is not null.
  .include "orvel.inc"

  .equ MAIN_WINDOW,  0x52010001       # the start-up window
  .equ WINDOW_UNIT,  0x06010000       # the window's own unit
  .equ BROWSER,      0x16010002       # 超文本浏览框1
  .equ ADDRESS_BOX,  0x16010004       # 网址
  .equ TARGET_BOX,   0x16010006       # 目标
  .equ INTERVAL_BOX, 0x16010009       # 间隔
  .equ AUTO_CLOSE,   0x1601000B       # 选择框1
  .equ DONE_BOX,     0x1601000D       # 已刷
  .equ START_BUTTON, 0x1601000E       # 按钮1
  .equ TICKER,       0x16010013       # 时钟1

  .equ WINDOW_TYPE,  0x10001          # data type codes of the units passed to commands
  .equ BROWSER_TYPE, 0x20001
  .equ BROWSER_LIB,  1                # library number of the browser unit's library

  .equ P_VISIBLE, 5                   # property numbers
  .equ P_DISABLED, 6
  .equ P_CONTENT, 8                   # edit box content; timer interval
  .equ P_ADDRESS, 11                  # browser unit address
  .equ P_STATE, 18                    # window state; check box checked
  .equ P_ICON, 20                     # window icon

  .equ T_DOUBLE, 0x80000601           # data type codes of argument records
  .equ T_TEXT,   0x80000004
  .equ T_BIN,    0x80000005

  .equ TO_INTEGER, 631 * 4            # core command selectors
  .equ TO_TEXT,    90 * 4
  .equ SET_TRAY,   450 * 4
  .equ BROWSE,     1 * 4              # command 1 of the browser unit's library

  .text

# ---- small routines of the program -------------------------------------------------------

# read_text(unit) -> EAX: the content (property 8) of a unit of the main window; may be 0.
read_text:
  pushl $-1
  pushl $P_CONTENT
  pushl 12(%esp)                      # unit
  orv_push id, MAIN_WINDOW
  call  orv_read_property
  addl  $16, %esp
  ret

# write_value(unit, property, lo): writes a 32-bit value (high word 0) to a unit.
write_value:
  pushl $0
  pushl 16(%esp)                      # lo
  pushl $-1
  pushl 20(%esp)                      # property
  pushl 20(%esp)                      # unit
  orv_push id, MAIN_WINDOW
  call  orv_write_property
  addl  $24, %esp
  ret

# free_text(block): frees a returned block unless it is null.
free_text:
  movl  4(%esp), %eax
  testl %eax, %eax
  jz    1f
  pushl %eax
  call  orv_free
  addl  $4, %esp
1:
  ret

# to_integer(text) -> EAX: core command "to integer" of a text; null stands for "".
to_integer:
  pushl %ebx
  movl  8(%esp), %eax
  testl %eax, %eax
  jnz   1f
  movl  $empty_text, %eax
1:
  pushl $T_TEXT                       # one argument record: the text
  pushl $0
  pushl %eax
  pushl $1
  movl  $TO_INTEGER, %ebx
  call  orv_call_core
  addl  $16, %esp
  popl  %ebx
  ret

# unit_integer(unit) -> EAX: reads a unit's content, converts it to an integer, frees it.
unit_integer:
  pushl %esi
  pushl 8(%esp)
  call  read_text
  addl  $4, %esp
  movl  %eax, %esi
  pushl %eax
  call  to_integer
  addl  $4, %esp
  pushl %eax
  pushl %esi
  call  free_text
  addl  $4, %esp
  popl  %eax
  popl  %esi
  ret

# ---- start-up routine --------------------------------------------------------------------

start:
  cld
  fninit
  call  init_globals                  # the global-variable initialiser (nothing to set)
  pushl $finish                       # the program's routine run at the end
  movl  $3, %eax                      # further service 3: set finalisation routine
  call  orv_further
  addl  $4, %esp
  orv_push id, MAIN_WINDOW
  call  orv_load_startup
  addl  $4, %esp
  pushl $0
  call  orv_message_loop
  addl  $4, %esp
  pushl $0
  call  orv_exit

init_globals:
  ret

finish:
  ret

# ---- H1: tray event of the window (argument: the tray operation, not used) ---------------
# State first, then visible: a hidden window only stores the state, and showing it brings it
# back in the state it was hidden in.
on_tray:
  pushl $0
  pushl $P_STATE
  orv_push id, WINDOW_UNIT
  call  write_value                   # state := 0 (normal)
  addl  $12, %esp
  pushl $1
  pushl $P_VISIBLE
  orv_push id, WINDOW_UNIT
  call  write_value                   # visible := 1
  addl  $12, %esp
  xorl  %ecx, %ecx
  ret   $4

# ---- H2: the window moved; when it is minimised, hide it behind a notification-area icon --
on_moved:
  pushl %ebx
  pushl %esi
  pushl $-1
  pushl $P_STATE
  orv_push id, WINDOW_UNIT
  orv_push id, MAIN_WINDOW
  call  orv_read_property
  addl  $16, %esp
  cmpl  $2, %eax                      # minimised?
  jne   9f
  pushl $0
  pushl $P_VISIBLE
  orv_push id, WINDOW_UNIT
  call  write_value                   # visible := 0
  addl  $12, %esp
  pushl $-1
  pushl $P_ICON
  orv_push id, WINDOW_UNIT
  orv_push id, MAIN_WINDOW
  call  orv_read_property             # the icon, as a byte set (may be null)
  addl  $16, %esp
  movl  %eax, %esi
  testl %eax, %eax
  jnz   1f
  movl  $empty_bin, %eax
1:
  pushl $T_TEXT                       # argument 3: the tip
  pushl $0
  pushl $tip_text
  pushl $T_BIN                        # argument 2: the icon data
  pushl $0
  pushl %eax
  orv_push typ, WINDOW_TYPE           # argument 1: the window as a unit
  orv_push id, WINDOW_UNIT
  orv_push id, MAIN_WINDOW
  pushl $3
  movl  $SET_TRAY, %ebx
  call  orv_call_core
  addl  $40, %esp
  pushl %esi
  call  free_text
  addl  $4, %esp
9:
  popl  %esi
  popl  %ebx
  xorl  %ecx, %ecx
  ret

# ---- H3: the start button was clicked: start ticking every n seconds ---------------------
on_start_click:
  pushl %ebx
  subl  $12, %esp                     # 0: milliseconds, 4: saved control word, 8: truncating one
  orv_push id, INTERVAL_BOX
  call  unit_integer                  # n seconds
  addl  $4, %esp
  movl  %eax, (%esp)
  fildl (%esp)
  fmull thousand                      # n * 1000.0, in double precision
  fnstcw 4(%esp)
  movzwl 4(%esp), %eax
  orl   $0x0C00, %eax                 # rounding: toward zero, whatever the mode in force
  movl  %eax, 8(%esp)
  fldcw 8(%esp)
  fistpl (%esp)
  fldcw 4(%esp)                       # the mode in force comes back
  pushl (%esp)
  pushl $P_CONTENT
  orv_push id, TICKER
  call  write_value                   # interval := milliseconds; the timer starts
  addl  $12, %esp
  pushl $1
  pushl $P_DISABLED
  orv_push id, START_BUTTON
  call  write_value                   # the button stays disabled
  addl  $12, %esp
  addl  $12, %esp
  popl  %ebx
  xorl  %ecx, %ecx
  ret

# ---- H4: a timer tick: reload the page, count, and end past the target -------------------
on_tick:
  pushl %ebx
  pushl %esi
  pushl %edi
  subl  $8, %esp                      # the count plus one, as a double
  # 1. the address goes to the browser unit's address property
  orv_push id, ADDRESS_BOX
  call  read_text
  addl  $4, %esp
  movl  %eax, %esi
  pushl $0
  pushl %esi
  pushl $-1
  pushl $P_ADDRESS
  orv_push id, BROWSER
  orv_push id, MAIN_WINDOW
  call  orv_write_property
  addl  $24, %esp
  pushl %esi
  call  free_text
  addl  $4, %esp
  # 2. browse to the address read again
  orv_push id, ADDRESS_BOX
  call  read_text
  addl  $4, %esp
  movl  %eax, %esi
  testl %eax, %eax
  jnz   1f
  movl  $empty_text, %eax
1:
  pushl $0                            # arguments 3 and 4: omitted
  pushl $0
  pushl $0
  pushl $0
  pushl $0
  pushl $0
  pushl $T_TEXT                       # argument 2: the address
  pushl $0
  pushl %eax
  orv_push typ, BROWSER_TYPE          # argument 1: the browser unit
  orv_push id, BROWSER
  orv_push id, MAIN_WINDOW
  pushl $4
  orv_mov lib, BROWSER_LIB, %eax
  movl  $BROWSE, %ebx
  call  orv_call_library
  addl  $52, %esp
  pushl %esi
  call  free_text
  addl  $4, %esp
  # 3. count + 1, written back as text
  orv_push id, DONE_BOX
  call  unit_integer
  addl  $4, %esp
  movl  %eax, (%esp)
  fildl (%esp)
  faddl one
  fstpl (%esp)
  pushl $T_DOUBLE
  pushl 8(%esp)                       # high word
  pushl 8(%esp)                       # low word
  pushl $1
  movl  $TO_TEXT, %ebx
  call  orv_call_core
  addl  $16, %esp
  movl  %eax, %esi
  pushl %esi
  pushl $P_CONTENT
  orv_push id, DONE_BOX
  call  write_value
  addl  $12, %esp
  pushl %esi
  call  free_text
  addl  $4, %esp
  # 4. done and target, read back from their boxes
  orv_push id, DONE_BOX
  call  unit_integer
  addl  $4, %esp
  movl  %eax, %esi                    # done
  orv_push id, TARGET_BOX
  call  unit_integer
  addl  $4, %esp
  movl  %eax, %edi                    # target
  # 5. strictly greater than the target, with automatic close checked: end the program
  cmpl  %edi, %esi
  jle   9f
  pushl $-1
  pushl $P_STATE
  orv_push id, AUTO_CLOSE
  orv_push id, MAIN_WINDOW
  call  orv_read_property
  addl  $16, %esp
  cmpl  $1, %eax
  jne   9f
  pushl $0
  call  orv_exit
9:
  addl  $8, %esp
  popl  %edi
  popl  %esi
  popl  %ebx
  xorl  %ecx, %ecx
  ret

  .section .rdata,"dr"
  .p2align 3
thousand:
  .double 1000.0
one:
  .double 1.0
empty_bin:                            # the empty byte set {1, 0}
  .long 1, 0
tip_text:
  .asciz "Revisto"
empty_text:
  .byte 0
