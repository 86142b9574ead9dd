// Processor features, read with CPUID and XGETBV.
#include "platform/cpu.h"

#include <cpuid.h>
#include <cstdint>

namespace {

// Extended control register 0; only valid when OSXSAVE is set.
uint64_t readXcr0() {
    uint32_t eax, edx;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return ((uint64_t)edx << 32) | eax;
}

}  // namespace

CpuFeatures detectCpuFeatures() {
    CpuFeatures f = {false, false, false, false, false};
    unsigned int eax, ebx, ecx, edx;
    unsigned int max_leaf = __get_cpuid_max(0, nullptr);
    if (max_leaf < 1) return f;

    __cpuid(1, eax, ebx, ecx, edx);
    f.popcnt = (ecx >> 23) & 1;
    f.ssse3 = (ecx >> 9) & 1;
    bool osxsave = (ecx >> 27) & 1;
    bool avx_bit = (ecx >> 28) & 1;
    // The operating system saves the XMM (bit 1) and YMM (bit 2) registers.
    bool ymm_state = osxsave && (readXcr0() & 6) == 6;
    f.avx = avx_bit && ymm_state;

    if (max_leaf >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        f.avx2 = ((ebx >> 5) & 1) && ymm_state;
        f.bmi2 = (ebx >> 8) & 1;
    }
    return f;
}
