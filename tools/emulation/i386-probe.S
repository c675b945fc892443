# The smallest i386 Linux program: exits with 0. If it runs, so do Wine's 32-bit loader and helpers.
    .globl _start
_start:
    xorl %ebx, %ebx
    movl $1, %eax
    int $0x80
