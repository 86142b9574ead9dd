#pragma once

struct CpuFeatures {
    bool popcnt, avx, avx2, bmi2, ssse3;
};

// What the processor (and the operating system, for the AVX register state) offers.
CpuFeatures detectCpuFeatures();
