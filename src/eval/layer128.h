// Dense layer of 32 outputs with 128-bit byte multiply-add, shared by the
// builds that have it (SSSE3 and AVX; the AVX build gets the three-operand
// encoding from the compiler). Included only by their forward-pass files.
//
// Each input byte (0..127) is multiplied with its signed weight byte and the
// products are summed in pairs to 16 bits (pmaddubsw); a pair sum lies in
// -32512..32258, so it never saturates. A 16-bit multiply-add with ones then
// widens the pairs to 32-bit sums.
#pragma once

#include <immintrin.h>

#include "board/types.h"

namespace layer128 {

inline __m128i dotStep(__m128i input, const i8 *weights) {
    const __m128i ones = _mm_set1_epi16(1);
    __m128i pairs = _mm_maddubs_epi16(input, _mm_loadu_si128((const __m128i *)weights));
    return _mm_madd_epi16(pairs, ones);
}

// 32 outputs over N input bytes, four outputs at a time; each input vector is
// loaded once per group of outputs. clampPack turns four vectors of shifted
// 32-bit sums into sixteen bytes clamped to 0..127, in order.
template <int N, typename ClampPack>
inline void layer(const u8 *input, const i8 *weights, const i32 *biases, u8 *out, ClampPack clampPack) {
    __m128i s[8];
    for (int o = 0; o < 32; o += 4) {
        const i8 *w0 = weights + (o + 0) * N;
        const i8 *w1 = weights + (o + 1) * N;
        const i8 *w2 = weights + (o + 2) * N;
        const i8 *w3 = weights + (o + 3) * N;
        __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
        for (int j = 0; j < N; j += 16) {
            __m128i in = _mm_load_si128((const __m128i *)(input + j));
            a0 = _mm_add_epi32(a0, dotStep(in, w0 + j));
            a1 = _mm_add_epi32(a1, dotStep(in, w1 + j));
            a2 = _mm_add_epi32(a2, dotStep(in, w2 + j));
            a3 = _mm_add_epi32(a3, dotStep(in, w3 + j));
        }
        __m128i sums = _mm_hadd_epi32(_mm_hadd_epi32(a0, a1), _mm_hadd_epi32(a2, a3));
        sums = _mm_add_epi32(sums, _mm_load_si128((const __m128i *)(biases + o)));
        s[o / 4] = _mm_srai_epi32(sums, 6);
    }
    _mm_store_si128((__m128i *)out, clampPack(s[0], s[1], s[2], s[3]));
    _mm_store_si128((__m128i *)(out + 16), clampPack(s[4], s[5], s[6], s[7]));
}

}  // namespace layer128
