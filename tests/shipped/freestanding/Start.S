/* The entry of a freestanding i386 program: the kernel leaves argc and argv
 * on the stack; program_main(argc, argv) gets them on a 16-byte aligned
 * stack and never returns. */
        .text
        .globl _start
_start:
        mov %esp, %eax
        and $-16, %esp
        sub $8, %esp
        lea 4(%eax), %edx
        push %edx
        push (%eax)
        call _program_main
        hlt
