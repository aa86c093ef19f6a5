// The start-up frame: the call of the run entry that every exit returns to, from any depth,
// without unwinding the frames in between.
    .intel_syntax noprefix

    .data
    .balign 4
frame_esp:    .long 0      // ESP just before the entry was called (0: no frame saved)
frame_ebp:    .long 0
frame_seh:    .long 0      // head of the structured-exception chain, fs:[0]

    .text

// int orvel_enter_frame(void* entry, void* argument)       (C calling convention)
//   Saves EBX, ESI, EDI and EBP on its own stack, and ESP, EBP and fs:[0] in the frame
//   record, registers the runtime's exception handler (a fault becomes a run-time error),
//   then calls entry(argument). Whether the entry removes its argument or not, the
//   stack is taken back from the frame. Returns the entry's EAX, or the exit code handed to
//   orvel_return_to_frame. Clears the frame record when it returns.
    .globl orvel_enter_frame
orvel_enter_frame:
    push  ebp
    mov   ebp, esp
    push  ebx
    push  esi
    push  edi
    mov   eax, fs:[0]
    mov   [frame_seh], eax
    mov   [frame_ebp], ebp
    push  offset orvel_fault_handler      // the runtime's exception frame for the whole run
    push  eax
    mov   fs:[0], esp
    push  dword ptr [ebp+12]
    mov   [frame_esp], esp
    cld
    call  [ebp+8]
frame_resume:
    mov   ecx, [frame_seh]                // the chain as it was before the frame
    mov   fs:[0], ecx
    lea   esp, [ebp-12]
    mov   dword ptr [frame_esp], 0
    pop   edi
    pop   esi
    pop   ebx
    pop   ebp
    ret

// void orvel_return_to_frame(int code)                       never returns
//   EAX := code; EBP, ESP and fs:[0] as saved by orvel_enter_frame; EBX, ESI and EDI come
//   back from the copies orvel_enter_frame pushed. Without a saved frame the process ends
//   with the code (ExitProcess).
    .globl orvel_return_to_frame
orvel_return_to_frame:
    mov   eax, [esp+4]
    mov   ecx, [frame_esp]
    test  ecx, ecx
    jz    no_frame
    mov   esp, ecx
    mov   ebp, [frame_ebp]
    mov   ecx, [frame_seh]
    mov   fs:[0], ecx
    cld
    jmp   frame_resume
no_frame:
    push  eax
    call  _ExitProcess@4

// int orvel_has_frame(void)   1 while a start-up frame is saved, else 0
    .globl orvel_has_frame
orvel_has_frame:
    xor   eax, eax
    cmp   dword ptr [frame_esp], 0
    setne al
    ret
