// Sums of feature-transformer weight rows: the arithmetic that both the
// accumulator steps and the refresh cache are made of. A row of 256 16-bit
// weights is sign-extended to 32 bits and added to (or subtracted from) a row
// of 32-bit sums, with the vectors of the build: 8 entries per step in the
// 128-bit builds, 16 in the 256-bit build. Every operation is exact integer
// addition, so the result does not depend on the order of the rows.
//
// Where the parameters allow it (narrow_sums), the sums are kept in 16 bits
// instead and the rows are added as they are (namespace narrow). Those
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
constexpr int BLOCK = 4 * STEP;    // entries of a row held in registers at once
static_assert(ACC_SIZE % BLOCK == 0, "accumulator rows split into blocks");

inline const i16 *weightRow(int feature) { return &network.ft_weights[feature * ACC_SIZE]; }

// v (one block of sums) plus or minus the block of a weight row.
template <bool ADD>
inline void blockStep(Vec *v, const i16 *w) {
    for (int s = 0; s < 4; s++) {
        Vec lo, hi;
        widen(w + s * STEP, lo, hi);
        v[2 * s] = ADD ? add(v[2 * s], lo) : sub(v[2 * s], lo);
        v[2 * s + 1] = ADD ? add(v[2 * s + 1], hi) : sub(v[2 * s + 1], hi);
    }
}

// out = in + the added weight rows - the removed ones, also stored into out2
// when that is not null (out and in may be the same row). The row is worked
// on in blocks held in registers, so each sum is loaded and stored once
// whatever the number of rows.
inline void applyRows(i32 *out, i32 *out2, const i32 *in, const int *added, int n_added, const int *removed,
                      int n_removed) {
    for (int b = 0; b < ACC_SIZE; b += BLOCK) {
        Vec v[8];
        for (int s = 0; s < 8; s++) v[s] = load(in + b + s * HALF);
        for (int n = 0; n < n_added; n++) blockStep<true>(v, weightRow(added[n]) + b);
        for (int n = 0; n < n_removed; n++) blockStep<false>(v, weightRow(removed[n]) + b);
        for (int s = 0; s < 8; s++) store(out + b + s * HALF, v[s]);
        if (out2)
            for (int s = 0; s < 8; s++) store(out2 + b + s * HALF, v[s]);
    }
}

// The same with the numbers of rows known when compiling: the few rows of
// one move, unrolled.
template <int ADDED, int REMOVED>
inline void applyRowsFixed(i32 *out, const i32 *in, const int *added, const int *removed) {
    const i16 *a[ADDED > 0 ? ADDED : 1], *r[REMOVED > 0 ? REMOVED : 1];
    for (int n = 0; n < ADDED; n++) a[n] = weightRow(added[n]);
    for (int n = 0; n < REMOVED; n++) r[n] = weightRow(removed[n]);
    for (int b = 0; b < ACC_SIZE; b += BLOCK) {
        Vec v[8];
        for (int s = 0; s < 8; s++) v[s] = load(in + b + s * HALF);
        for (int n = 0; n < ADDED; n++) blockStep<true>(v, a[n] + b);
        for (int n = 0; n < REMOVED; n++) blockStep<false>(v, r[n] + b);
        for (int s = 0; s < 8; s++) store(out + b + s * HALF, v[s]);
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

// ---------------------------------------------------------------------------
// 16-bit sums: a vector holds LANES of them, a row is added without widening.
// ---------------------------------------------------------------------------
namespace narrow {

#if defined(CORVIX_ISA_AVX2)
typedef __m256i Vec16;
constexpr int LANES = 16;
inline Vec16 load(const i16 *p) { return _mm256_load_si256((const __m256i *)p); }
inline void store(i16 *p, Vec16 v) { _mm256_store_si256((__m256i *)p, v); }
inline Vec16 add(Vec16 a, Vec16 b) { return _mm256_add_epi16(a, b); }
inline Vec16 sub(Vec16 a, Vec16 b) { return _mm256_sub_epi16(a, b); }
#else
typedef __m128i Vec16;
constexpr int LANES = 8;
inline Vec16 load(const i16 *p) { return _mm_load_si128((const __m128i *)p); }
inline void store(i16 *p, Vec16 v) { _mm_store_si128((__m128i *)p, v); }
inline Vec16 add(Vec16 a, Vec16 b) { return _mm_add_epi16(a, b); }
inline Vec16 sub(Vec16 a, Vec16 b) { return _mm_sub_epi16(a, b); }
#endif

constexpr int BLOCK16 = 8 * LANES;  // entries of a row held in registers at once
static_assert(ACC_SIZE % BLOCK16 == 0, "accumulator rows split into blocks");

template <bool ADD>
inline void blockStep(Vec16 *v, const i16 *w) {
    for (int s = 0; s < 8; s++) v[s] = ADD ? add(v[s], load(w + s * LANES)) : sub(v[s], load(w + s * LANES));
}

// As feature_rows::applyRows, on 16-bit sums.
inline void applyRows(i16 *out, i16 *out2, const i16 *in, const int *added, int n_added, const int *removed,
                      int n_removed) {
    for (int b = 0; b < ACC_SIZE; b += BLOCK16) {
        Vec16 v[8];
        for (int s = 0; s < 8; s++) v[s] = load(in + b + s * LANES);
        for (int n = 0; n < n_added; n++) blockStep<true>(v, weightRow(added[n]) + b);
        for (int n = 0; n < n_removed; n++) blockStep<false>(v, weightRow(removed[n]) + b);
        for (int s = 0; s < 8; s++) store(out + b + s * LANES, v[s]);
        if (out2)
            for (int s = 0; s < 8; s++) store(out2 + b + s * LANES, v[s]);
    }
}

// As feature_rows::applyRowsFixed, on 16-bit sums.
template <int ADDED, int REMOVED>
inline void applyRowsFixed(i16 *out, const i16 *in, const int *added, const int *removed) {
    const i16 *a[ADDED > 0 ? ADDED : 1], *r[REMOVED > 0 ? REMOVED : 1];
    for (int n = 0; n < ADDED; n++) a[n] = weightRow(added[n]);
    for (int n = 0; n < REMOVED; n++) r[n] = weightRow(removed[n]);
    for (int b = 0; b < ACC_SIZE; b += BLOCK16) {
        Vec16 v[8];
        for (int s = 0; s < 8; s++) v[s] = load(in + b + s * LANES);
        for (int n = 0; n < ADDED; n++) blockStep<true>(v, a[n] + b);
        for (int n = 0; n < REMOVED; n++) blockStep<false>(v, r[n] + b);
        for (int s = 0; s < 8; s++) store(out + b + s * LANES, v[s]);
    }
}

// out = the biases.
inline void biasRow(i16 *out) {
    for (int i = 0; i < ACC_SIZE; i += LANES) store(out + i, load(&network.ft_biases[i]));
}

}  // namespace narrow

}  // namespace feature_rows
