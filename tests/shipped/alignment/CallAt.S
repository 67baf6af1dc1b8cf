/* uint64_t call_at(uint32_t espModulo16, void* function, uint32_t argCount,
 *                  const uint32_t* args), cdecl.
 * Calls a cdecl function so that ESP at its entry is espModulo16 modulo 16,
 * with marker values in the registers it must preserve; a changed one sets
 * calleeSavedBroken. Returns EDX:EAX as the callee left them. */
        .intel_syntax noprefix
        .text

        .globl _call_at
_call_at:
        push ebp
        mov ebp, esp
        push ebx
        push esi
        push edi
        mov eax, [ebp + 8]
        mov ecx, [ebp + 16]
        /* ESP now: at entry it must be k; before the call k + 4; before
         * pushing the arguments k + 4 + 4 * argCount (modulo 16). */
        lea edx, [eax + ecx * 4 + 4]
        and edx, 15
        and esp, -16
        sub esp, 16
        add esp, edx
        mov esi, [ebp + 20]
1:      test ecx, ecx
        jz 2f
        push dword ptr [esi + ecx * 4 - 4]
        dec ecx
        jmp 1b
2:      mov eax, [ebp + 12]
        mov ebx, 0xB0B0B0B0
        mov esi, 0x5151515A
        mov edi, 0xD1D1D1D1
        call eax
        cmp ebx, 0xB0B0B0B0
        jne 3f
        cmp esi, 0x5151515A
        jne 3f
        cmp edi, 0xD1D1D1D1
        je 4f
3:      mov dword ptr [_calleeSavedBroken], 1
4:      lea esp, [ebp - 12]
        pop edi
        pop esi
        pop ebx
        pop ebp
        ret

/* uint32_t entry_esp(void): ESP at its own entry. */
        .globl _entry_esp
_entry_esp:
        mov eax, esp
        ret

        .bss
        .globl _calleeSavedBroken
        .p2align 2
_calleeSavedBroken: .long 0
