// Sums of feature-transformer weight rows: the arithmetic that both the
// accumulator steps and the refresh cache are made of. A row of 256 16-bit
// weights is sign-extended to 32 bits and added to (or subtracted from) a row
// of 32-bit sums, with the vectors of the build: 8 entries per step in the
// 128-bit builds, 16 in the 256-bit build. Every operation is exact integer
// addition, so the result does not depend on the order of the rows.
//
// Where the parameters allow it (narrow_sums), the sums are kept in 16 bits
// instead and the rows are added as they are (Rows<i16>). Those
// additions wrap around, but every sum of a real board lies within the int16
// range, and sums taken modulo 2^16 that end within the range are exact:
// the result is the same integer as with 32 bits.
#pragma once

#if defined(CORVIX_ISA_AVX2) || defined(CORVIX_ISA_AVX)
#include <immintrin.h>
#else
#include <emmintrin.h>
#endif

#include "board/types.h"
#include "eval/network.h"

namespace feature_rows {

// ---------------------------------------------------------------------------
// Vector primitives of the build. A vector holds HALF 32-bit sums; widen
// takes 2 * HALF 16-bit weights, extends them to 32 bits and returns them as
// two vectors, in order.
// ---------------------------------------------------------------------------
#if defined(CORVIX_ISA_AVX2)

typedef __m256i Vec;
constexpr int HALF = 8;

inline Vec load(const i32 *p) { return _mm256_load_si256((const __m256i *)p); }
inline void store(i32 *p, Vec v) { _mm256_store_si256((__m256i *)p, v); }
inline Vec add(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_epi32(a, b); }
// Each half is loaded by the sign extension itself.
inline void widen(const i16 *w, Vec &lo, Vec &hi) {
    lo = _mm256_cvtepi16_epi32(_mm_load_si128((const __m128i *)w));
    hi = _mm256_cvtepi16_epi32(_mm_load_si128((const __m128i *)(w + 8)));
}

#elif defined(CORVIX_ISA_AVX)

typedef __m128i Vec;
constexpr int HALF = 4;

inline Vec load(const i32 *p) { return _mm_load_si128((const __m128i *)p); }
inline void store(i32 *p, Vec v) { _mm_store_si128((__m128i *)p, v); }
inline Vec add(Vec a, Vec b) { return _mm_add_epi32(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_epi32(a, b); }
inline void widen(const i16 *w, Vec &lo, Vec &hi) {
    lo = _mm_cvtepi16_epi32(_mm_loadl_epi64((const __m128i *)w));
    hi = _mm_cvtepi16_epi32(_mm_loadl_epi64((const __m128i *)(w + 4)));
}

#else  // SSE2 and the SSSE3 build: no 16-to-32-bit sign extension

typedef __m128i Vec;
constexpr int HALF = 4;

inline Vec load(const i32 *p) { return _mm_load_si128((const __m128i *)p); }
inline void store(i32 *p, Vec v) { _mm_store_si128((__m128i *)p, v); }
inline Vec add(Vec a, Vec b) { return _mm_add_epi32(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_epi32(a, b); }
inline void widen(const i16 *w, Vec &lo, Vec &hi) {
    __m128i x = _mm_load_si128((const __m128i *)w);
    __m128i sign = _mm_srai_epi16(x, 15);
    lo = _mm_unpacklo_epi16(x, sign);
    hi = _mm_unpackhi_epi16(x, sign);
}

#endif

constexpr int STEP = 2 * HALF;     // weights per widen

inline const i16 *weightRow(int feature) { return &network.ft_weights[feature * ACC_SIZE]; }

// The primitives of one width of sums: a vector holds LANES sums; step adds
// or subtracts the weights of one block of eight vectors.
template <typename Sum>
struct Rows;

template <>
struct Rows<i32> {
    typedef Vec V;
    static constexpr int LANES = HALF;
    static V load(const i32 *p) { return feature_rows::load(p); }
    static void store(i32 *p, V v) { feature_rows::store(p, v); }
    template <bool ADD>
    static void step(V *v, const i16 *w) {
        for (int s = 0; s < 4; s++) {
            V lo, hi;
            widen(w + s * STEP, lo, hi);
            v[2 * s] = ADD ? add(v[2 * s], lo) : sub(v[2 * s], lo);
            v[2 * s + 1] = ADD ? add(v[2 * s + 1], hi) : sub(v[2 * s + 1], hi);
        }
    }
};

// 16-bit sums (narrow_sums): the weights are added as they are.
template <>
struct Rows<i16> {
#if defined(CORVIX_ISA_AVX2)
    typedef __m256i V;
    static constexpr int LANES = 16;
    static V load(const i16 *p) { return _mm256_load_si256((const __m256i *)p); }
    static void store(i16 *p, V v) { _mm256_store_si256((__m256i *)p, v); }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
#else
    typedef __m128i V;
    static constexpr int LANES = 8;
    static V load(const i16 *p) { return _mm_load_si128((const __m128i *)p); }
    static void store(i16 *p, V v) { _mm_store_si128((__m128i *)p, v); }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm_sub_epi16(a, b); }
#endif
    template <bool ADD>
    static void step(V *v, const i16 *w) {
        for (int s = 0; s < 8; s++) v[s] = ADD ? add(v[s], load(w + s * LANES)) : sub(v[s], load(w + s * LANES));
    }
};

// out = in + the added weight rows - the removed ones, also stored into out2
// when that is not null (out and in may be the same row). The row is worked
// on in blocks of eight vectors held in registers, so each sum is loaded and
// stored once whatever the number of rows.
template <typename Sum>
inline void applyRows(Sum *out, Sum *out2, const Sum *in, const int *added, int n_added, const int *removed,
                      int n_removed) {
    typedef Rows<Sum> R;
    constexpr int block = 8 * R::LANES;
    static_assert(ACC_SIZE % block == 0, "accumulator rows split into blocks");
    for (int b = 0; b < ACC_SIZE; b += block) {
        typename R::V v[8];
        for (int s = 0; s < 8; s++) v[s] = R::load(in + b + s * R::LANES);
        for (int n = 0; n < n_added; n++) R::template step<true>(v, weightRow(added[n]) + b);
        for (int n = 0; n < n_removed; n++) R::template step<false>(v, weightRow(removed[n]) + b);
        for (int s = 0; s < 8; s++) R::store(out + b + s * R::LANES, v[s]);
        if (out2)
            for (int s = 0; s < 8; s++) R::store(out2 + b + s * R::LANES, v[s]);
    }
}

// The same with the numbers of rows known when compiling: the few rows of
// one move, unrolled.
template <int ADDED, int REMOVED, typename Sum>
inline void applyRowsFixed(Sum *out, const Sum *in, const int *added, const int *removed) {
    typedef Rows<Sum> R;
    constexpr int block = 8 * R::LANES;
    const i16 *a[ADDED > 0 ? ADDED : 1], *r[REMOVED > 0 ? REMOVED : 1];
    for (int n = 0; n < ADDED; n++) a[n] = weightRow(added[n]);
    for (int n = 0; n < REMOVED; n++) r[n] = weightRow(removed[n]);
    for (int b = 0; b < ACC_SIZE; b += block) {
        typename R::V v[8];
        for (int s = 0; s < 8; s++) v[s] = R::load(in + b + s * R::LANES);
        for (int n = 0; n < ADDED; n++) R::template step<true>(v, a[n] + b);
        for (int n = 0; n < REMOVED; n++) R::template step<false>(v, r[n] + b);
        for (int s = 0; s < 8; s++) R::store(out + b + s * R::LANES, v[s]);
    }
}

// out = the biases, sign-extended to 32 bits.
inline void biasRow(i32 *out) {
    for (int i = 0; i < ACC_SIZE; i += STEP) {
        Vec lo, hi;
        widen(&network.ft_biases[i], lo, hi);
        store(out + i, lo);
        store(out + i + HALF, hi);
    }
}

// out = the biases, as 16-bit sums.
inline void biasRow(i16 *out) {
    typedef Rows<i16> R;
    for (int i = 0; i < ACC_SIZE; i += R::LANES) R::store(out + i, R::load(&network.ft_biases[i]));
}

}  // namespace feature_rows
