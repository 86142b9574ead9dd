// Forward pass for processors with SSE2 only.
//
// SSE2 has no byte multiply-add, so every byte is widened to 16 bits and
// multiplied with the 16-bit multiply-add, which sums pairs of products into
// 32-bit lanes. Inputs are 0..127 and weights -128..127, so every product
// and every pair sum is exact.
#if defined(CORVIX_ISA_SSE2)

#include <emmintrin.h>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

const char *const NNUE_VECTOR_PATH = "sse2";

namespace {

// Clamps four 32-bit lanes to 0..127 with compares and selects.
inline __m128i clamp127(__m128i x) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi32(127);
    x = _mm_andnot_si128(_mm_cmpgt_epi32(zero, x), x);
    __m128i high = _mm_cmpgt_epi32(x, top);
    return _mm_or_si128(_mm_and_si128(high, top), _mm_andnot_si128(high, x));
}

// Sign-extends the 16 bytes of w into two vectors of 8 16-bit lanes.
inline void widenWeights(__m128i w, __m128i &lo, __m128i &hi) {
    __m128i sign = _mm_cmpgt_epi8(_mm_setzero_si128(), w);
    lo = _mm_unpacklo_epi8(w, sign);
    hi = _mm_unpackhi_epi8(w, sign);
}

// Horizontal sums of four vectors, returned as the four lanes of one vector
// in the order a, b, c, d.
inline __m128i sum4(__m128i a, __m128i b, __m128i c, __m128i d) {
    __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// Shift by 6, clamp to 0..127 and store as 16-bit values (eight outputs from
// two vectors of sums).
inline void activateStore(__m128i s0, __m128i s1, i16 *out) {
    s0 = clamp127(_mm_srai_epi32(s0, 6));
    s1 = clamp127(_mm_srai_epi32(s1, 6));
    _mm_store_si128((__m128i *)out, _mm_packs_epi32(s0, s1));
}

// Dot product of one row of byte weights with the 16-bit inputs, 16 inputs
// per step; the partial sums stay in the four lanes.
template <int N>
inline __m128i dotRow(const i16 *input, const i8 *weights) {
    __m128i sum = _mm_setzero_si128();
    for (int j = 0; j < N; j += 16) {
        __m128i lo, hi;
        widenWeights(_mm_loadu_si128((const __m128i *)(weights + j)), lo, hi);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_load_si128((const __m128i *)(input + j)), lo));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_load_si128((const __m128i *)(input + j + 8)), hi));
    }
    return sum;
}

// One dense layer of 32 outputs: biases + weights x inputs, activated.
template <int N>
inline void layer(const i16 *input, const i8 *weights, const i32 *biases, i16 *out) {
    for (int o = 0; o < 32; o += 8) {
        __m128i s[2];
        for (int g = 0; g < 2; g++) {
            const int b = o + 4 * g;
            __m128i sums = sum4(dotRow<N>(input, weights + (b + 0) * N), dotRow<N>(input, weights + (b + 1) * N),
                                dotRow<N>(input, weights + (b + 2) * N), dotRow<N>(input, weights + (b + 3) * N));
            s[g] = _mm_add_epi32(sums, _mm_load_si128((const __m128i *)(biases + b)));
        }
        activateStore(s[0], s[1], out + o);
    }
}

// Clamps one accumulator row to 0..127 and stores it as 16-bit inputs.
inline void transformRow(const i32 *row, i16 *out) {
    for (int i = 0; i < ACC_SIZE; i += 8) {
        __m128i a = clamp127(_mm_load_si128((const __m128i *)(row + i)));
        __m128i b = clamp127(_mm_load_si128((const __m128i *)(row + i + 4)));
        _mm_store_si128((__m128i *)(out + i), _mm_packs_epi32(a, b));
    }
}

// The same from 16-bit sums: the minimum and maximum of 16-bit lanes.
inline void transformRowNarrow(const i16 *row, i16 *out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(127);
    for (int i = 0; i < ACC_SIZE; i += 8)
        _mm_store_si128((__m128i *)(out + i),
                        _mm_min_epi16(_mm_max_epi16(_mm_load_si128((const __m128i *)(row + i)), zero), top));
}

// Layers 1 and 2 and the output, from the transformed inputs. The inputs are
// kept widened to 16 bits, which is what the multiplies take; the values are
// the clamped bytes 0..127.
int forwardLayers(const i16 *input) {
    alignas(16) i16 hidden1[L1_SIZE];
    alignas(16) i16 hidden2[L2_SIZE];

    layer<L1_INPUTS>(input, network.l1_weights, network.l1_biases, hidden1);
    layer<L1_SIZE>(hidden1, network.l2_weights, network.l2_biases, hidden2);

    __m128i sum = dotRow<L2_SIZE>(hidden2, network.out_weights);
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
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
