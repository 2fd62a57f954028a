// The call trampoline, one per target, and the last-error capture right behind it.
#include "orvscriptengine/bridge/foreigncall.h"

extern "C" uintptr_t orv_CallWithWords(const void* function, const uintptr_t* words, size_t count,
                                       size_t* removedBytes);

#if defined(__i386__)
// cdecl: function at 8(%ebp), words at 12, count at 16, removedBytes at 20. esi and edi are preserved
// for the caller; edi keeps the stack pointer the callee was entered with, to see what it removed.
asm(R"(
    .text
    .globl _orv_CallWithWords
    .def _orv_CallWithWords; .scl 2; .type 32; .endef
_orv_CallWithWords:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    leal 0(,%ecx,4), %eax
    subl %eax, %esp
    andl $-16, %esp
    movl %esp, %edi
    cld
    rep movsl
    movl %esp, %edi
    call *8(%ebp)
    movl %esp, %edx
    subl %edi, %edx
    movl 20(%ebp), %ecx
    movl %edx, (%ecx)
    leal -8(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebp
    ret
)");
#elif defined(__x86_64__)
// rcx function, rdx words, r8 count, r9 removedBytes (always 0: the caller owns the stack). rsi and rdi
// are preserved for the caller; the frame is described for the unwinder.
asm(R"(
    .text
    .globl orv_CallWithWords
    .def orv_CallWithWords; .scl 2; .type 32; .endef
    .seh_proc orv_CallWithWords
orv_CallWithWords:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    movq $0, (%r9)
    movq %rcx, %r10
    movq %rdx, %rsi
    movq %r8, %rcx
    movq %rcx, %rax
    cmpq $4, %rax
    jae 1f
    movq $4, %rax
1:
    shlq $3, %rax
    subq %rax, %rsp
    andq $-16, %rsp
    movq %rsp, %rdi
    cld
    rep movsq
    movq 0(%rsp), %rcx
    movq 8(%rsp), %rdx
    movq 16(%rsp), %r8
    movq 24(%rsp), %r9
    callq *%r10
    movq %rbp, %rsp
    popq %rdi
    popq %rsi
    popq %rbp
    ret
    .seh_endproc
)");
#else
#error "no call trampoline for this target"
#endif

namespace orv {

ForeignCallResult CallWithWords(const void* function, const uintptr_t* words, size_t count) {
    ForeignCallResult result{};
    result.value = orv_CallWithWords(function, words, count, &result.removedBytes);
    result.lastError = ::GetLastError();  // nothing may run in between
    return result;
}

}  // namespace orv
