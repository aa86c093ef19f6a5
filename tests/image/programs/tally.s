# Tally: one window with a label and a button. Each click on the button adds one to a
# global count and shows it in the label as "已点击 N 次".
# The window template, the DLL command and the header fields are in tally.orv.
  .include "orvel.inc"

  .equ MAIN_WINDOW,   0x52010001      # identifiers of tally.orv's window and units
  .equ COUNT_LABEL,   0x16010002
  .equ LABEL_CAPTION, 8               # the label's caption property
  .equ FORMAT_TEXT,   0               # DLL command 0: wsprintfA

  .text
# The window was created (window event 0): start counting from zero.
on_window_created:
  movl  $0, count
  ret

# The button was clicked (its event 0): count += 1, then caption := "已点击 <count> 次".
on_add_click:
  incl  count
  pushl count
  pushl $caption_format
  pushl $caption_buffer
  orv_mov dll, FORMAT_TEXT, %eax
  call  orv_call_dll                  # wsprintfA(buffer, format, count)
  addl  $12, %esp
  pushl $0                            # value, high word
  pushl $caption_buffer               # value, low word: the text
  pushl $-1                           # element index: none
  pushl $LABEL_CAPTION
  orv_push id, COUNT_LABEL
  orv_push id, MAIN_WINDOW
  call  orv_write_property
  addl  $24, %esp
  ret

# Start-up routine: open the start-up window, run the message loop, end with exit code 0.
start:
  cld
  fninit
  orv_push id, MAIN_WINDOW
  call  orv_load_startup
  addl  $4, %esp
  pushl $0
  call  orv_message_loop
  addl  $4, %esp
  pushl $0
  call  orv_exit

  .section .rdata,"dr"
caption_format:
  .asciz "已点击 %d 次"

  .bss
count:
  .space 4
caption_buffer:
  .space 64
