/* void checked_call_raw(CheckedCall* call), cdecl.
 * Pushes the call's stack words, puts `this` in ECX, loads markers into the
 * registers the callee must preserve, calls (with ESP at a chosen alignment
 * when asked), and records what the callee left
 * (ESP, EAX, EBX, ESI, EDI, EBP, EFLAGS, x87 control word) for the C side to
 * judge. Its own ESP comes back from memory, so a callee that pops wrongly
 * cannot take the host down with it. Offsets match CheckedCall in Host.c. */
        .intel_syntax noprefix
        .text

        .globl _checked_call_raw
_checked_call_raw:
        push ebp
        push ebx
        push esi
        push edi
        mov eax, [esp + 20]
        mov [current], eax
        mov [savedEsp], esp
        fnstcw [eax + 60]
        mov ecx, [eax + 8]
        /* ESP at the callee's entry entryEspModulo modulo 16, unless negative:
         * before the arguments and the return address it is 4 (argCount + 1)
         * more. */
        mov edx, [eax + 64]
        test edx, edx
        js 1f
        lea edx, [edx + ecx * 4 + 4]
        and edx, 15
        and esp, -16
        sub esp, 16
        add esp, edx
1:      test ecx, ecx
        jz 2f
        push dword ptr [eax + 12 + ecx * 4 - 4]
        dec ecx
        jmp 1b
2:      mov [eax + 28], esp
        mov ecx, [eax + 4]
        mov edx, [eax]
        mov ebx, 0xB0B0B0B0
        mov esi, 0x5151515A
        mov edi, 0xD1D1D1D1
        mov ebp, 0xBEBEBEBE
        call edx
        mov ecx, [current]
        mov [ecx + 32], esp
        mov [ecx + 36], eax
        mov [ecx + 40], ebx
        mov [ecx + 44], esi
        mov [ecx + 48], edi
        mov [ecx + 52], ebp
        mov esp, [savedEsp]
        pushfd
        pop dword ptr [ecx + 56]
        fnstcw [ecx + 62]
        /* The rest of the host runs with the state it started with. */
        cld
        fldcw [ecx + 60]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret

/* unsigned read_mxcsr(void), unsigned read_x87_control(void) */
        .globl _read_mxcsr
_read_mxcsr:
        push eax
        stmxcsr [esp]
        pop eax
        ret

        .globl _read_x87_control
_read_x87_control:
        push eax
        fnstcw [esp]
        pop eax
        movzx eax, ax
        ret

        .bss
        .p2align 2
current:  .long 0
savedEsp: .long 0
