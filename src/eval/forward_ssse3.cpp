// Forward pass of the POPCNT build: 128-bit SSSE3 code. Layers 1 and 2 use
// the byte multiply-add layer of layer128.h.
#if defined(CORVIX_ISA_POPCNT)

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/layer128.h"
#include "eval/network.h"

const char *const NNUE_VECTOR_PATH = "ssse3";

namespace {

// Clamps four 32-bit lanes to 0..127 with compares and selects (the minimum
// and maximum of 32-bit lanes arrive only with SSE4.1).
inline __m128i clamp127(__m128i x) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi32(127);
    x = _mm_andnot_si128(_mm_cmpgt_epi32(zero, x), x);
    __m128i high = _mm_cmpgt_epi32(x, top);
    return _mm_or_si128(_mm_and_si128(high, top), _mm_andnot_si128(high, x));
}

// Packs the low bytes of the 16 lanes of a, b, c, d (each 0..127) into one
// vector in order, with byte shuffles.
inline __m128i packBytes(__m128i a, __m128i b, __m128i c, __m128i d) {
    const char z = (char)0x80;
    const __m128i ma = _mm_setr_epi8(0, 4, 8, 12, z, z, z, z, z, z, z, z, z, z, z, z);
    const __m128i mb = _mm_setr_epi8(z, z, z, z, 0, 4, 8, 12, z, z, z, z, z, z, z, z);
    const __m128i mc = _mm_setr_epi8(z, z, z, z, z, z, z, z, 0, 4, 8, 12, z, z, z, z);
    const __m128i md = _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, 0, 4, 8, 12);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, ma), _mm_shuffle_epi8(b, mb)),
                        _mm_or_si128(_mm_shuffle_epi8(c, mc), _mm_shuffle_epi8(d, md)));
}

// The clamp and the byte packing of the hidden outputs.
inline __m128i clampPackHidden(__m128i a, __m128i b, __m128i c, __m128i d) {
    return packBytes(clamp127(a), clamp127(b), clamp127(c), clamp127(d));
}

inline void transformRow(const i32 *row, u8 *out) {
    for (int i = 0; i < ACC_SIZE; i += 16) {
        __m128i a = clamp127(_mm_load_si128((const __m128i *)(row + i)));
        __m128i b = clamp127(_mm_load_si128((const __m128i *)(row + i + 4)));
        __m128i c = clamp127(_mm_load_si128((const __m128i *)(row + i + 8)));
        __m128i d = clamp127(_mm_load_si128((const __m128i *)(row + i + 12)));
        _mm_store_si128((__m128i *)(out + i), packBytes(a, b, c, d));
    }
}

// The same from 16-bit sums: the maximum with zero of 16-bit lanes, then the
// signed saturating pack to bytes caps at 127 and keeps the order.
inline void transformRowNarrow(const i16 *row, u8 *out) {
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < ACC_SIZE; i += 16) {
        __m128i a = _mm_max_epi16(_mm_load_si128((const __m128i *)(row + i)), zero);
        __m128i b = _mm_max_epi16(_mm_load_si128((const __m128i *)(row + i + 8)), zero);
        _mm_store_si128((__m128i *)(out + i), _mm_packs_epi16(a, b));
    }
}

// Layers 1 and 2 and the output, from the transformed inputs.
int forwardLayers(const u8 *input) {
    alignas(16) u8 hidden1[L1_SIZE];
    alignas(16) u8 hidden2[L2_SIZE];

    layer128::layer<L1_INPUTS>(input, network.l1_weights, network.l1_biases, hidden1, clampPackHidden);
    layer128::layer<L1_SIZE>(hidden1, network.l2_weights, network.l2_biases, hidden2, clampPackHidden);

    // Output layer: bytes widened to 16 bits, 16-bit multiply-add.
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    for (int j = 0; j < L2_SIZE; j += 16) {
        __m128i in = _mm_load_si128((const __m128i *)(hidden2 + j));
        __m128i w = _mm_loadu_si128((const __m128i *)(network.out_weights + j));
        __m128i sign = _mm_cmpgt_epi8(zero, w);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi8(in, zero), _mm_unpacklo_epi8(w, sign)));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpackhi_epi8(in, zero), _mm_unpackhi_epi8(w, sign)));
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
