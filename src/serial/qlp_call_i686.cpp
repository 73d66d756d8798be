// QlpCallWords (serial/qlp_call.h): the 32-bit x86 call into the protocol library that
// survives either calling convention. Empty on every other processor.
#include "serial/qlp_call.h"

#if defined(__i386__)

#define QLP_CALL_TEXT(x) #x
#define QLP_CALL_SYMBOL(prefix) QLP_CALL_TEXT(prefix) "QlpCallWords"
#if defined(__ELF__)
#define QLP_CALL_TYPE ".type " QLP_CALL_SYMBOL(__USER_LABEL_PREFIX__) ", @function\n"
#else
#define QLP_CALL_TYPE
#endif

// uint32_t QlpCallWords(void (*entry)(), const uint32_t* words, uint32_t count), __cdecl.
//
// ebp holds this function's stack pointer from its entry to its return. ebp, esi and edi
// are preserved by a __stdcall and by a __cdecl callee alike, so after the call esp is
// taken back from ebp, whether the callee popped its arguments (__stdcall) or left them
// (__cdecl). The arguments are copied below a 16-byte boundary, as the i386 System V ABI
// wants at a call (Windows asks for 4 bytes only). eax, the status, is returned as it is.
asm(".text\n"
    ".globl " QLP_CALL_SYMBOL(__USER_LABEL_PREFIX__) "\n"
    QLP_CALL_TYPE
    ".p2align 4\n"
    QLP_CALL_SYMBOL(__USER_LABEL_PREFIX__) ":\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %esi\n"      // words
    "  movl 16(%ebp), %ecx\n"      // count
    "  leal 0(,%ecx,4), %eax\n"
    "  subl %eax, %esp\n"
    "  andl $-16, %esp\n"
    "  movl %esp, %edi\n"
    "  cld\n"
    "  rep movsl\n"                // words[0] at the lowest address: the first argument
    "  call *8(%ebp)\n"
    "  leal -8(%ebp), %esp\n"      // esi and edi as pushed above, whatever the callee popped
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

#endif
