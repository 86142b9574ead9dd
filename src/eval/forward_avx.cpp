// Forward pass of the AVX build: the 128-bit byte multiply-add code in the
// three-operand VEX encoding, with the SSE4.1 minimum, maximum and sign
// extensions that every AVX processor has.
#if defined(CORVIX_ISA_AVX)

#include <immintrin.h>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/layer128.h"
#include "eval/network.h"

const char *const NNUE_VECTOR_PATH = "avx";

namespace {

// Sixteen 32-bit values to sixteen bytes clamped to 0..127: the maximum with
// zero removes negatives, the signed saturating packs (32 to 16, then 16 to 8
// bits) cap the rest at 127, and the order of the lanes is kept.
inline __m128i clampPack(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    __m128i ab = _mm_packs_epi32(_mm_max_epi32(a, zero), _mm_max_epi32(b, zero));
    __m128i cd = _mm_packs_epi32(_mm_max_epi32(c, zero), _mm_max_epi32(d, zero));
    return _mm_packs_epi16(ab, cd);
}

inline void transformRow(const i32 *row, u8 *out) {
    for (int i = 0; i < ACC_SIZE; i += 16) {
        _mm_store_si128((__m128i *)(out + i),
                        clampPack(_mm_load_si128((const __m128i *)(row + i)),
                                  _mm_load_si128((const __m128i *)(row + i + 4)),
                                  _mm_load_si128((const __m128i *)(row + i + 8)),
                                  _mm_load_si128((const __m128i *)(row + i + 12))));
    }
}

// The same from 16-bit sums: one signed saturating pack to bytes caps at
// 127 and keeps the order, the maximum with zero removes negatives.
inline void transformRowNarrow(const i16 *row, u8 *out) {
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < ACC_SIZE; i += 16) {
        __m128i packed = _mm_packs_epi16(_mm_load_si128((const __m128i *)(row + i)),
                                         _mm_load_si128((const __m128i *)(row + i + 8)));
        _mm_store_si128((__m128i *)(out + i), _mm_max_epi8(packed, zero));
    }
}

// Layers 1 and 2 and the output, from the transformed inputs.
int forwardLayers(const u8 *input) {
    alignas(16) u8 hidden1[L1_SIZE];
    alignas(16) u8 hidden2[L2_SIZE];

    layer128::layer<L1_INPUTS>(input, network.l1_weights, network.l1_biases, hidden1, clampPack);
    layer128::layer<L1_SIZE>(hidden1, network.l2_weights, network.l2_biases, hidden2, clampPack);

    // Output layer: bytes extended to 16 bits, 16-bit multiply-add.
    __m128i sum = _mm_setzero_si128();
    for (int j = 0; j < L2_SIZE; j += 8) {
        __m128i in = _mm_cvtepu8_epi16(_mm_loadl_epi64((const __m128i *)(hidden2 + j)));
        __m128i w = _mm_cvtepi8_epi16(_mm_loadl_epi64((const __m128i *)(network.out_weights + j)));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(in, w));
    }
    sum = _mm_hadd_epi32(sum, sum);
    sum = _mm_hadd_epi32(sum, sum);
    i32 v = (i32)((u32)_mm_cvtsi128_si32(sum) + (u32)network.out_bias);
    return scaleOutput(v);
}

}  // namespace

// The byte weights are read as they are in the parameter block.
void prepareForwardPass() {}

int nnueForwardVector(const i32 acc[2][ACC_SIZE], int side_to_move) {
    return forwardRows(acc, side_to_move, transformRow, forwardLayers);
}

int nnueForwardNarrow(const i16 acc[2][ACC_SIZE], int side_to_move) {
    return forwardRows(acc, side_to_move, transformRowNarrow, forwardLayers);
}

#endif
