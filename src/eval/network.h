// Network parameters and the loader of the network file.
#pragma once

#include "board/types.h"

#if defined(CORVIX_ISA_AVX2)
constexpr int SIMD_ALIGN = 32;
#else
constexpr int SIMD_ALIGN = 16;
#endif

constexpr int NNUE_INPUTS = 41024;
constexpr int L1_INPUTS = 2 * ACC_SIZE;  // 512
constexpr int L1_SIZE = 32;
constexpr int L2_SIZE = 32;

extern const char *const NNUE_FILE;

// All parameters live in one block; every array starts on a 64-byte boundary
// except out_weights, which directly follows out_bias.
struct alignas(64) NetworkParams {
    alignas(64) i16 ft_biases[ACC_SIZE];
    alignas(64) i16 ft_weights[NNUE_INPUTS * ACC_SIZE];
    alignas(64) i32 l1_biases[L1_SIZE];
    alignas(64) i8 l1_weights[L1_SIZE * L1_INPUTS];
    alignas(64) i32 l2_biases[L2_SIZE];
    alignas(64) i8 l2_weights[L2_SIZE * L1_SIZE];
    alignas(64) i32 out_bias;
    i8 out_weights[L2_SIZE];
};

extern NetworkParams &network;

// Zeroes the parameters and reads them from the named file (NNUE_FILE in the
// working directory when name is null). Returns false (the parameters then
// zero) when the file cannot be opened or read, is shorter than the layout,
// is longer than it by four bytes or more, or has a negative description
// length or one that runs past the end of the file.
bool loadNetwork(const char *name = nullptr);

// Builds whatever derived copy of the parameters the vector code of this
// build reads (a rearranged layer-1 weight table in the AVX2 build; nothing in
// the others), decides the width of the sums (narrow_sums) and forgets the
// sums computed with the old parameters.
// loadNetwork calls it; code that changes the parameters by other means (the
// tests) must call it before the next evaluation.
void prepareNetwork();

// Whether every first-layer sum fits in 16 bits, for every board: the largest
// bias plus 62 times the largest weight (62 pieces beside the kings fill a
// board) within the int16 range, all in magnitude.
bool sumsFitIn16Bits();

// Exact size of a well-formed file with a description of n bytes.
constexpr long long NNUE_FILE_SIZE_WITHOUT_DESCRIPTION = 21022520LL;
