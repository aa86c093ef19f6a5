# Units test program. The start-up routine picks a scenario (DLL command probe_mode): 0 the
# window with every unit type, 1 a type-specific read on a window that is not loaded, 2 a
# window whose timer data is of version 2, 3 a window with a unit of a library beyond the
# list, 4 the window with the state and visible writes of the second timer's tick, 5 a
# second window loaded, closed by the test and loaded again. Handlers note what they see
# through probe_note ("key lo hi").
  .include "orvel.inc"

  .set W1, 0x52010001
  .set OWN, 0x06010000
  .set LABEL, 0x16010002
  .set EDIT1, 0x16010003
  .set EDIT5, 0x16010004
  .set CHECK, 0x16010007
  .set TIMER1, 0x16010009
  .set TIMER2, 0x1601000A
  .set W2, 0x52010010
  .set W2EDIT, 0x16010011
  .set BUTTON2, 0x16010008

.macro dll index
  orv_mov dll, \index, %eax
  call orv_call_dll
.endm

# probe_note(key, val, 0); keeps no registers but EBX, ESI, EDI, EBP.
.macro note key, val
  pushl $0
  pushl \val
  pushl $\key
  dll 1
  addl $12, %esp
.endm

.macro note_text key, val
  pushl \val
  pushl $\key
  dll 2
  addl $8, %esp
.endm

# EAX:EDX = property PROP of UNIT in window WIN.
.macro rd win, unit, prop
  pushl $-1
  pushl $\prop
  orv_push id, \unit
  orv_push id, \win
  call orv_read_property
  addl $16, %esp
.endm

.macro rdx win, unit, prop, index
  pushl $\index
  pushl $\prop
  orv_push id, \unit
  orv_push id, \win
  call orv_read_property
  addl $16, %esp
.endm

.macro wrx win, unit, prop, index, lo
  pushl $0
  pushl \lo
  pushl $\index
  pushl $\prop
  orv_push id, \unit
  orv_push id, \win
  call orv_write_property
  addl $24, %esp
.endm

.macro wr win, unit, prop, lo, hi=$0
  pushl \hi
  pushl \lo
  pushl $-1
  pushl $\prop
  orv_push id, \unit
  orv_push id, \win
  call orv_write_property
  addl $24, %esp
.endm

.macro load win
  orv_push id, \win
  call orv_load_startup
  addl $4, %esp
.endm

  .section .rdata,"dr"
k_w2_width:   .asciz "w2.width"
k_w2_left:    .asciz "w2.left"
k_w2_top:     .asciz "w2.top"
k_w2_height:  .asciz "w2.height"
k_label_frame: .asciz "label.frame"
k_label_left: .asciz "label.left"
k_label_width: .asciz "label.width"
k_check:      .asciz "check"
k_setting:    .asciz "setting"
k_written:    .asciz "written"
k_change:     .asciz "change"
k_mode5:      .asciz "mode5"
k_timer_neg:  .asciz "timer.neg"
k_tray:       .asciz "tray"
k_t0:         .asciz "t0"
k_t1:         .asciz "t1"
k_t2:         .asciz "t2"
k_key:        .asciz "key"
k_click:      .asciz "click"
k_cclick:     .asciz "check.click"
k_close:      .asciz "close"
k_refused:    .asciz "close.refused"
k_state:      .asciz "state"
k_created:    .asciz "created"
k_activated:  .asciz "activated"
k_font_size:  .asciz "font.size"
k_font_bold:  .asciz "font.bold"
k_font_face:  .asciz "font.face"
k_recreated:  .asciz "recreated"
k_reload_left: .asciz "reload.left"
k_loaded_left: .asciz "loaded.left"
k_idle:       .asciz "idle"
k_open:       .asciz "menu.open"
k_help:       .asciz "menu.help"
k_menu_caption: .asciz "menu.caption"
t_help2:      .asciz "帮助2"
t_written:    .asciz "written"
t_abc:        .asciz "abc"
t_tip:        .asciz "0123456789012345678901234567890123456789012345678901234567890123456789"

  .text
  .globl start
start:
  cld
  finit
  dll 0
  cmpl $1, %eax
  je m_unloaded_read
  cmpl $2, %eax
  je m_bad_timer
  cmpl $3, %eax
  je m_no_library
  cmpl $5, %eax
  je m_reload
  load W1
  load W1                      # a second load only activates the window
  pushl $0
  call orv_message_loop
  addl $4, %esp
  pushl $0
  call orv_exit

m_reload:
  wr W2, W2EDIT, 0, $11        # not loaded: kept for every later load
  load W2
  pushl $0
  call orv_message_loop        # until the test closes the window
  addl $4, %esp
  load W2
  pushl $0
  call orv_message_loop
  addl $4, %esp
  pushl $0
  call orv_exit

# The second window, created: a write while loaded lasts only until it is destroyed.
w2_created:
  rd W2, W2EDIT, 0
  note k_reload_left, %eax
  wr W2, W2EDIT, 0, $22
  rd W2, W2EDIT, 0
  note k_loaded_left, %eax
  xorl %ecx, %ecx
  ret

# Idle (milliseconds since the idle period began); returns nothing: no more this period.
w2_idle:
  movl 4(%esp), %eax
  note k_idle, %eax
  xorl %ecx, %ecx
  ret $4

m_unloaded_read:
  rd W2, W2EDIT, 8             # "指定窗口尚未载入"
  pushl $9
  call orv_exit

m_bad_timer:
  load 0x52010020              # "载入启动窗口失败"
  pushl $9
  call orv_exit

m_no_library:
  load 0x52010030              # "载入启动窗口失败"
  pushl $9
  call orv_exit

# Window event 0: the checks that need no user input.
w_created:
  pushl %ebx
  pushl %esi
  note k_created, $1
  # Common properties of a window that is not loaded go to its template.
  wr W2, W2EDIT, 2, $-5
  rd W2, W2EDIT, 2
  note k_w2_width, %eax
  wr W2, W2EDIT, 0, $40000
  rd W2, W2EDIT, 0
  note k_w2_left, %eax
  wr W2, W2EDIT, 1, $-40000
  rd W2, W2EDIT, 1
  note k_w2_top, %eax
  rd W2, W2EDIT, 3
  note k_w2_height, %eax
  # Live units.
  wr W1, LABEL, 11, $3
  rd W1, LABEL, 11
  note k_label_frame, %eax
  rd W1, LABEL, 0
  note k_label_left, %eax
  rd W1, LABEL, 2
  note k_label_width, %eax
  rd W1, CHECK, 18
  note k_check, %eax
  rd W1, OWN, 30
  note k_setting, %eax
  wr W1, EDIT1, 8, $t_written
  note k_written, $1
  wr W1, EDIT5, 8, $t_abc
  rd W1, EDIT5, 8
  movl %eax, %ebx
  note_text k_mode5, %ebx
  pushl %ebx
  call orv_free
  addl $4, %esp
  wr W1, TIMER1, 8, $-5
  rd W1, TIMER1, 8
  note k_timer_neg, %eax
  # Font parts by element index.
  rdx W1, LABEL, 15, 5
  note k_font_size, %eax
  wrx W1, LABEL, 15, 1, $1
  rdx W1, LABEL, 15, 1
  note k_font_bold, %eax
  rdx W1, LABEL, 15, 6
  movl %eax, %ebx
  note_text k_font_face, %ebx
  pushl %ebx
  call orv_free
  addl $4, %esp
  # A picture written to a button re-creates it in place.
  rd W1, OWN, 20
  movl %eax, %ebx
  wr W1, BUTTON2, 8, %ebx
  pushl %ebx
  call orv_free
  addl $4, %esp
  note k_recreated, $1
  # Tray icon: the window's icon property, a 70-byte tip.
  rd W1, OWN, 20
  movl %eax, %ebx
  pushl $0x80000004
  pushl $0
  pushl $t_tip
  pushl $0x80000005
  pushl $0
  pushl %ebx
  orv_push typ, 0x10001
  orv_push id, OWN
  orv_push id, W1
  pushl $3
  movl %ebx, %esi
  movl $0x708, %ebx            # set tray icon
  call orv_call_core
  movl %esi, %ebx
  addl $40, %esp
  pushl %ebx
  call orv_free
  addl $4, %esp
  note k_tray, $1
  # Timers: timer 1 every 1000 ms; timer 2 writes the same interval again after 500 ms.
  dll 3
  note k_t0, %eax
  wr W1, TIMER1, 8, $1000
  wr W1, TIMER2, 8, $500
  popl %esi
  popl %ebx
  xorl %ecx, %ecx
  ret

t2_tick:
  wr W1, TIMER1, 8, $1000      # unchanged: the running period is not restarted
  wr W1, TIMER2, 8, $0
  dll 3
  note k_t2, %eax
  dll 0
  cmpl $4, %eax
  jne 1f
  call state_checks
1:
  xorl %ecx, %ecx
  ret

t1_tick:
  dll 3
  note k_t1, %eax
  wr W1, TIMER1, 8, $0
  xorl %ecx, %ecx
  ret

e_change:
  note k_change, $1
  xorl %ecx, %ecx
  ret

# Common event -9 (key down): key code, key state; the handler removes its arguments.
e_keydown:
  movl 4(%esp), %eax
  movl 8(%esp), %edx
  pushl %edx
  pushl %eax
  pushl $k_key
  dll 1
  addl $12, %esp
  xorl %ecx, %ecx
  ret $8

# Common event -11 (character): "x" is swallowed (result 0), "y" becomes "!", others pass.
e_char:
  movl 4(%esp), %eax
  cmpl $'x', %eax
  je 1f
  cmpl $'y', %eax
  je 2f
  xorl %ecx, %ecx
  ret $4
1:
  xorl %eax, %eax
  movl $0x80000301, %ecx
  ret $4
2:
  movl $'!', %eax
  movl $0x80000301, %ecx
  ret $4

b_click:
  note k_click, $1
  xorl %ecx, %ecx
  ret

c_click:
  note k_cclick, $1
  xorl %ecx, %ecx
  ret

# Menu commands. The help item renames itself.
m_open:
  note k_open, $1
  xorl %ecx, %ecx
  ret

m_help:
  note k_help, $1
  wr W1, 0x2601000E, 0, $t_help2
  rd W1, 0x2601000E, 0
  pushl %eax
  note_text k_menu_caption, %eax
  call orv_free
  addl $4, %esp
  xorl %ecx, %ecx
  ret

# Close: the first request is refused (returns false), the second returns nothing. Window
# property 25 (help context) serves as the counter.
w_close:
  rd W1, OWN, 25
  testl %eax, %eax
  jnz 1f
  wr W1, OWN, 25, $1
  note k_refused, $1
  xorl %eax, %eax
  movl $0x80000002, %ecx
  ret
1:
  note k_close, $1
  xorl %ecx, %ecx
  ret

# Scenario 4 (from the second timer's tick): minimise, hide, write the state while hidden,
# show again.
state_checks:
  wr W1, OWN, 18, $2
  wr W1, OWN, 5, $0
  wr W1, OWN, 18, $0
  wr W1, OWN, 5, $1
  rd W1, OWN, 18
  note k_state, %eax
  ret

# First activation: noted.
w_first_activation:
  note k_activated, $1
  xorl %ecx, %ecx
  ret
