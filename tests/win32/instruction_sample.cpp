// A program for the test of tools/check-instructions.py: one function holds instructions that
// processors after the 80386 brought, one per kind the check must refuse, and one function
// (named only by its own section, being static) uses SSE; another holds 80386/80387
// instructions that the check must accept. None of them is ever run.
#include <windows.h>

extern "C" void newer_instructions(void)
{
    __asm__ volatile(
        "cmove %edx, %eax\n\t"         // Pentium Pro
        "fcmove %st(1), %st\n\t"
        "fcomi %st(1), %st\n\t"
        "fucomip %st(1), %st\n\t"
        "bswap %eax\n\t"               // 80486
        "cmpxchg %ecx, (%edx)\n\t"
        "xadd %eax, (%edx)\n\t"
        "cpuid\n\t"                    // Pentium
        "rdtsc\n\t"
        "cmpxchg8b (%esi)\n\t"
        "sysenter\n\t"                 // Pentium II
        "syscall\n\t"                  // K6-2
        "paddb %mm1, %mm0\n\t"         // MMX
        "nopl 0(%eax)\n\t"             // the long NOP of assemblers' padding
        "ud2\n\t");
}

static void __attribute__((noinline)) scale_with_sse(float *value)
{
    __asm__ volatile("movss (%0), %%xmm0\n\taddss %%xmm0, %%xmm0\n\tmovss %%xmm0, (%0)"
                     : : "r"(value) : "memory");
}

extern "C" void only_80386_instructions(void)
{
    __asm__ volatile(
        "shld $3, %edx, %eax\n\t"
        "bsf %ecx, %eax\n\t"
        "bts %eax, (%edx)\n\t"
        "setne %al\n\t"
        "movzbl (%esi), %eax\n\t"
        "rep movsb\n\t"
        "repne scasb\n\t"
        "lock incl (%edx)\n\t"
        "xchg %ax, %ax\n\t"
        ".byte 0x8d, 0x74, 0x26, 0x00\n\t"  // lea 0x0(%esi,%eiz,1),%esi: padding of old assemblers
        "enter $8, $0\n\t"
        "leave\n\t"
        "fld1\n\t"
        "fsin\n\t"
        "fucompp\n\t"
        "fnstsw %ax\n\t"
        "sahf\n\t"
        "fprem1\n\t"
        "nop\n\t");
}

extern "C" void WINAPI instruction_sample_start(void)
{
    // Never true: the functions are only there to be read.
    if (GetTickCount() == 1) {
        float value = 1;
        newer_instructions();
        scale_with_sse(&value);
        only_80386_instructions();
    }
    ExitProcess(0);
}
