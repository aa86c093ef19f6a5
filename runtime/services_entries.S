// The service entries that need the machine boundary: the command calls (slots 2 and 3), the
// DLL command call (slot 1), the further-services switch (slot 12), and the call into
// compiled code. The other slots are plain C-convention functions (services.cpp).
    .intel_syntax noprefix
    .text

// Slot 2, call library command.
//   in:  EAX library number, EBX selector (slot x 4), [esp+4] argument count,
//        [esp+8] the argument records, first argument first (12 bytes each)
//   out: EAX low word, EDX high word, ECX type code of the result record
//   kept: EBX, ESI, EDI, EBP; the caller removes the count and the records
//   A library only recorded is loaded first (EAX, EBX and ECX are kept around that); the
//   routine is called as routine(&result, count, &first record) on a cleared 12-byte result.
    .globl orvel_svc_call_library
orvel_svc_call_library:
    push  ebp
    mov   ebp, esp
    push  ebx                     // [ebp-4]
    sub   esp, 12                 // result record at [ebp-16]
    mov   dword ptr [ebp-16], 0
    mov   dword ptr [ebp-12], 0
    mov   dword ptr [ebp-8], 0
    push  ecx
    push  eax
    push  ebx
    push  eax
    call  orvel_resolve_command   // (library, selector) -> routine
    add   esp, 8
    mov   edx, eax
    pop   eax
    pop   ecx
    lea   ecx, [ebp+12]
    push  ecx                     // first argument record
    push  dword ptr [ebp+8]       // argument count
    lea   ecx, [ebp-16]
    push  ecx                     // result record
    cld
    call  edx
    mov   eax, [ebp-16]
    mov   edx, [ebp-12]
    mov   ecx, [ebp-8]
    mov   ebx, [ebp-4]
    leave
    ret

// Slot 3, call core library command: slot 2 with library 0.
//   in:  EBX selector; stack as slot 2.   out, kept: as slot 2.
    .globl orvel_svc_call_core
orvel_svc_call_core:
    xor   eax, eax
    jmp   orvel_svc_call_library

// Slot 1, call DLL command.
//   in:  EAX DLL command index; the stack exactly as the native function expects it
//   out: whatever the native function leaves; the function's own convention decides who
//        removes the arguments
//   The address is resolved (ECX and EDX kept), then the entry jumps to it, so the function
//   sees the caller's return address and arguments.
    .globl orvel_svc_call_dll
orvel_svc_call_dll:
    push  ecx
    push  edx
    push  eax
    call  orvel_resolve_dll_command   // (index) -> address
    add   esp, 4
    pop   edx
    pop   ecx
    jmp   eax

// Slot 12, further services.
//   in:  EAX function number 0..5; the function's arguments on the stack
//   out: as the function (C convention: EAX, or EDX:EAX for 64-bit results)
//   Jumps to the function with the caller's stack; another number is a run-time error.
    .globl orvel_svc_further
orvel_svc_further:
    cmp   eax, 6
    jae   1f
    jmp   [orvel_further_table + eax*4]
1:
    push  eax
    call  orvel_bad_further

// void orvel_call_compiled(CompiledResult* out, routine, const uint32_t* args, int count,
//                          uint32_t eax)                                  (C convention)
//   The runtime's only call into compiled code (event handlers, the error handler routine,
//   the finalisation routine, sub-statements).
//   Pushes args[count-1] .. args[0], sets EAX = eax (a sub-statement's context word, 0
//   otherwise), ECX = EDX = 0, clears the direction flag, calls the routine and stores its
//   EAX, EDX, ECX in *out. The stack is taken back from EBP, so a routine that removes its
//   arguments and one that does not both work.
//   kept: EBX, ESI, EDI, EBP (saved here, whatever the routine does with them)
//   The call runs inside the runtime's exception frame (orvel_fault_handler): a fault in the
//   routine becomes a run-time error, wherever the caller sits (a window procedure, too).
    .globl orvel_call_compiled
orvel_call_compiled:
    push  ebp
    mov   ebp, esp
    push  ebx
    push  esi
    push  edi
    push  offset orvel_fault_handler      // exception registration {next, handler} at ebp-20
    push  dword ptr fs:[0]
    mov   fs:[0], esp
    mov   ecx, [ebp+20]
    mov   esi, [ebp+16]
2:
    test  ecx, ecx
    jz    3f
    dec   ecx
    push  dword ptr [esi+ecx*4]
    jmp   2b
3:
    mov   eax, [ebp+24]
    xor   ecx, ecx
    xor   edx, edx
    cld
    call  [ebp+12]
    mov   edi, [ebp+8]
    mov   [edi], eax
    mov   [edi+4], edx
    mov   [edi+8], ecx
    mov   edi, [ebp-20]
    mov   fs:[0], edi
    lea   esp, [ebp-12]
    pop   edi
    pop   esi
    pop   ebx
    pop   ebp
    ret
