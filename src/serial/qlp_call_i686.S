// uint32_t QlpCallWords(void (*entry)(), const uint32_t* words, uint32_t count), __cdecl:
// the 32-bit x86 call into the protocol library that survives either calling convention
// (serial/qlp_call.h says why it is needed).
//
// ebp holds this function's stack pointer from its entry to its return. ebp, esi and edi
// are preserved by a __stdcall and by a __cdecl callee alike, so after the call esp is
// taken back from ebp, whether the callee popped its arguments (__stdcall) or left them
// (__cdecl). The arguments are copied below a 16-byte boundary, as the i386 System V ABI
// wants at a call (Windows asks for 4 bytes only). eax, the status, is returned as it is.
//
// The frame is described to the unwinder (.cfi_*), so that a debugger, a crash dump or a
// profiler walks from the library's code back into the program's.

#define GLUE2(a, b) a##b
#define GLUE(a, b) GLUE2(a, b)
#define SYMBOL GLUE(__USER_LABEL_PREFIX__, QlpCallWords)

        .text
        .globl  SYMBOL
#if defined(__ELF__)
        .type   SYMBOL, @function
#elif defined(_WIN32)
        .def    SYMBOL
        .scl    2
        .type   32
        .endef
#endif
        .p2align 4
SYMBOL:
        .cfi_startproc
        pushl   %ebp
        .cfi_def_cfa_offset 8
        .cfi_offset %ebp, -8
        movl    %esp, %ebp
        .cfi_def_cfa_register %ebp
        pushl   %esi
        .cfi_offset %esi, -12
        pushl   %edi
        .cfi_offset %edi, -16
        movl    12(%ebp), %esi          // words
        movl    16(%ebp), %ecx          // count
        leal    0(,%ecx,4), %eax
        subl    %eax, %esp
        andl    $-16, %esp
        movl    %esp, %edi
        cld
        rep movsl                       // words[0] at the lowest address: the first argument
        call    *8(%ebp)
        leal    -8(%ebp), %esp          // esi and edi as pushed above, whatever the callee popped
        popl    %edi
        .cfi_restore %edi
        popl    %esi
        .cfi_restore %esi
        popl    %ebp
        .cfi_restore %ebp
        .cfi_def_cfa %esp, 4
        ret
        .cfi_endproc
#if defined(__ELF__)
        .size   SYMBOL, . - SYMBOL
        // The stack stays non-executable.
        .section .note.GNU-stack, "", @progbits
#endif
