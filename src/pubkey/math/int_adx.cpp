// The 512-bit Montgomery product on MULX with the two carry chains of ADX: ADCX
// carries through CF only and ADOX through OF only, so the low halves of a
// row of products run down one chain and the high halves down the other,
// interleaved, with no pass that waits for the other's carries.
//
// (At 256 bits the BMI2 product of int_bmi2.cpp is as fast: its rows are
// short enough for its two plain ADC passes.)
//
// The function is compiled for BMI2 and ADX (target attribute), so the
// library still loads on processors without them; callers reach them only
// when vrt::flags::supported_adx is set (the processor has both).
//
// Constant-time: the instruction sequence and every memory address are the
// same for all operands; the final subtraction keeps its result by CMOV.
#include <cstdint>

#include "pubkey/math/field_ct.h"

#define VRT_ADX __attribute__((target("bmi2,adx")))

// Layout: rdx holds the multiplier word, rax and rbx the low and high half
// of each product, rsi the operand being scanned. The accumulator t0..t9
// lives in ten registers whose names rotate by one per word of b: the
// word that the reduction clears drops out at the bottom and comes back,
// zeroed, as the new top. The pointers and n' wait in XMM registers, so the
// asm needs no stack slot and leaves rbp to frame pointers.

// t(j) += lo(rdx * src[j]) on CF, t(j+1) += hi on OF.
#define VRT_AX_STEP(OFF, TJ, TJ1)            \
  "mulxq " OFF "(%%rsi), %%rax, %%rbx\n\t" \
  "adcxq %%rax, " TJ "\n\t"                \
  "adoxq %%rbx, " TJ1 "\n\t"

// The two chains' carries into the top words; MOV leaves the flags alone.
#define VRT_AX_FLUSH(TK, TK1)  \
  "movl $0, %%eax\n\t"         \
  "adcxq %%rax, " TK "\n\t"    \
  "adoxq %%rax, " TK1 "\n\t"   \
  "adcxq %%rax, " TK1 "\n\t"

#define VRT_AX_PASS8(T0, T1, T2, T3, T4, T5, T6, T7, T8, T9) \
  VRT_AX_STEP("0", T0, T1)                                   \
  VRT_AX_STEP("8", T1, T2)                                   \
  VRT_AX_STEP("16", T2, T3)                                  \
  VRT_AX_STEP("24", T3, T4)                                  \
  VRT_AX_STEP("32", T4, T5)                                  \
  VRT_AX_STEP("40", T5, T6)                                  \
  VRT_AX_STEP("48", T6, T7)                                  \
  VRT_AX_STEP("56", T7, T8)                                  \
  VRT_AX_FLUSH(T8, T9)

// One word b[i] of the 512-bit product: t += a * b[i], then
// t += (t0 * n' mod 2^64) * p, which clears t0. XOR zeroes the new top word
// and both flags.
#define VRT_AX_ITER8(OFF, T0, T1, T2, T3, T4, T5, T6, T7, T8, T9) \
  "movq %[b], %%rsi\n\t"                                          \
  "movq " OFF "(%%rsi), %%rdx\n\t"                                \
  "movq %[a], %%rsi\n\t"                                          \
  "xorq " T9 ", " T9 "\n\t"                                       \
  VRT_AX_PASS8(T0, T1, T2, T3, T4, T5, T6, T7, T8, T9)            \
  "movq %[n0], %%rdx\n\t"                                         \
  "imulq " T0 ", %%rdx\n\t"                                       \
  "movq %[p], %%rsi\n\t"                                          \
  "xorl %%eax, %%eax\n\t"                                         \
  VRT_AX_PASS8(T0, T1, T2, T3, T4, T5, T6, T7, T8, T9)

#define VRT_AX_R0 "%%rcx"
#define VRT_AX_R1 "%%rdi"
#define VRT_AX_R2 "%%r8"
#define VRT_AX_R3 "%%r9"
#define VRT_AX_R4 "%%r10"
#define VRT_AX_R5 "%%r11"
#define VRT_AX_R6 "%%r12"
#define VRT_AX_R7 "%%r13"
#define VRT_AX_R8 "%%r14"
#define VRT_AX_R9 "%%r15"

namespace vrt::math {

// r = a*b/R mod p (R = 2^512), for a*b < R*p (a < R and b < p will do);
// r may alias a or b, both read before r is written.
VRT_ADX void mont_mul_512_adx_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0,
                                 const uint64_t* p) {
  __asm__ volatile(
      "xorl %%ecx, %%ecx\n\t"
      "xorl %%edi, %%edi\n\t"
      "xorl %%r8d, %%r8d\n\t"
      "xorl %%r9d, %%r9d\n\t"
      "xorl %%r10d, %%r10d\n\t"
      "xorl %%r11d, %%r11d\n\t"
      "xorl %%r12d, %%r12d\n\t"
      "xorl %%r13d, %%r13d\n\t"
      "xorl %%r14d, %%r14d\n\t"
      VRT_AX_ITER8("0", VRT_AX_R0, VRT_AX_R1, VRT_AX_R2, VRT_AX_R3, VRT_AX_R4, VRT_AX_R5, VRT_AX_R6, VRT_AX_R7,
                   VRT_AX_R8, VRT_AX_R9)
      VRT_AX_ITER8("8", VRT_AX_R1, VRT_AX_R2, VRT_AX_R3, VRT_AX_R4, VRT_AX_R5, VRT_AX_R6, VRT_AX_R7, VRT_AX_R8,
                   VRT_AX_R9, VRT_AX_R0)
      VRT_AX_ITER8("16", VRT_AX_R2, VRT_AX_R3, VRT_AX_R4, VRT_AX_R5, VRT_AX_R6, VRT_AX_R7, VRT_AX_R8, VRT_AX_R9,
                   VRT_AX_R0, VRT_AX_R1)
      VRT_AX_ITER8("24", VRT_AX_R3, VRT_AX_R4, VRT_AX_R5, VRT_AX_R6, VRT_AX_R7, VRT_AX_R8, VRT_AX_R9, VRT_AX_R0,
                   VRT_AX_R1, VRT_AX_R2)
      VRT_AX_ITER8("32", VRT_AX_R4, VRT_AX_R5, VRT_AX_R6, VRT_AX_R7, VRT_AX_R8, VRT_AX_R9, VRT_AX_R0, VRT_AX_R1,
                   VRT_AX_R2, VRT_AX_R3)
      VRT_AX_ITER8("40", VRT_AX_R5, VRT_AX_R6, VRT_AX_R7, VRT_AX_R8, VRT_AX_R9, VRT_AX_R0, VRT_AX_R1, VRT_AX_R2,
                   VRT_AX_R3, VRT_AX_R4)
      VRT_AX_ITER8("48", VRT_AX_R6, VRT_AX_R7, VRT_AX_R8, VRT_AX_R9, VRT_AX_R0, VRT_AX_R1, VRT_AX_R2, VRT_AX_R3,
                   VRT_AX_R4, VRT_AX_R5)
      VRT_AX_ITER8("56", VRT_AX_R7, VRT_AX_R8, VRT_AX_R9, VRT_AX_R0, VRT_AX_R1, VRT_AX_R2, VRT_AX_R3, VRT_AX_R4,
                   VRT_AX_R5, VRT_AX_R6)
      // t = R8 R9 R0 .. R5 (r14 r15 rcx rdi r8 .. r11, low to high) with
      // the top word R6 (r12, 0 or 1), t < 2p:
      // store it, subtract p with the borrow through the top word, and
      // take the stored t back where that borrowed.
      "movq %[r], %%rsi\n\t"
      "movq %[p], %%rdx\n\t"
      "movq %%r14, 0(%%rsi)\n\t"
      "movq %%r15, 8(%%rsi)\n\t"
      "movq %%rcx, 16(%%rsi)\n\t"
      "movq %%rdi, 24(%%rsi)\n\t"
      "movq %%r8, 32(%%rsi)\n\t"
      "movq %%r9, 40(%%rsi)\n\t"
      "movq %%r10, 48(%%rsi)\n\t"
      "movq %%r11, 56(%%rsi)\n\t"
      "subq 0(%%rdx), %%r14\n\t"
      "sbbq 8(%%rdx), %%r15\n\t"
      "sbbq 16(%%rdx), %%rcx\n\t"
      "sbbq 24(%%rdx), %%rdi\n\t"
      "sbbq 32(%%rdx), %%r8\n\t"
      "sbbq 40(%%rdx), %%r9\n\t"
      "sbbq 48(%%rdx), %%r10\n\t"
      "sbbq 56(%%rdx), %%r11\n\t"
      "sbbq $0, %%r12\n\t"
      "cmovcq 0(%%rsi), %%r14\n\t"
      "cmovcq 8(%%rsi), %%r15\n\t"
      "cmovcq 16(%%rsi), %%rcx\n\t"
      "cmovcq 24(%%rsi), %%rdi\n\t"
      "cmovcq 32(%%rsi), %%r8\n\t"
      "cmovcq 40(%%rsi), %%r9\n\t"
      "cmovcq 48(%%rsi), %%r10\n\t"
      "cmovcq 56(%%rsi), %%r11\n\t"
      "movq %%r14, 0(%%rsi)\n\t"
      "movq %%r15, 8(%%rsi)\n\t"
      "movq %%rcx, 16(%%rsi)\n\t"
      "movq %%rdi, 24(%%rsi)\n\t"
      "movq %%r8, 32(%%rsi)\n\t"
      "movq %%r9, 40(%%rsi)\n\t"
      "movq %%r10, 48(%%rsi)\n\t"
      "movq %%r11, 56(%%rsi)\n\t"
      :
      : [a] "x"(a), [b] "x"(b), [p] "x"(p), [n0] "x"(n0), [r] "x"(r)
      : "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "cc",
        "memory");
}

}  // namespace vrt::math
