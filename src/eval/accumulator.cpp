#include "eval/accumulator.h"

#include "eval/network.h"

#if defined(CORVIX_ISA_AVX2) || defined(CORVIX_ISA_AVX)
#include <immintrin.h>
#else
#include <emmintrin.h>
#endif

alignas(64) i32 accumulator[2][ACC_SIZE];

namespace {

// ---------------------------------------------------------------------------
// Vector primitives of the build. A step takes STEP 16-bit weights, extends
// them to 32 bits and adds them to two vectors of 32-bit sums (lanes 0..STEP/2-1
// and STEP/2..STEP-1 of the step, in order).
// ---------------------------------------------------------------------------
#if defined(CORVIX_ISA_AVX2)

typedef __m256i Vec;
constexpr int STEP = 16;

inline Vec load(const i32 *p) { return _mm256_load_si256((const __m256i *)p); }
inline void store(i32 *p, Vec v) { _mm256_store_si256((__m256i *)p, v); }
inline Vec add(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_epi32(a, b); }
inline void widen(const i16 *w, Vec &lo, Vec &hi) {
    __m256i x = _mm256_load_si256((const __m256i *)w);
    lo = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(x));
    hi = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(x, 1));
}

#elif defined(CORVIX_ISA_AVX)

typedef __m128i Vec;
constexpr int STEP = 8;

inline Vec load(const i32 *p) { return _mm_load_si128((const __m128i *)p); }
inline void store(i32 *p, Vec v) { _mm_store_si128((__m128i *)p, v); }
inline Vec add(Vec a, Vec b) { return _mm_add_epi32(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_epi32(a, b); }
inline void widen(const i16 *w, Vec &lo, Vec &hi) {
    __m128i x = _mm_load_si128((const __m128i *)w);
    lo = _mm_cvtepi16_epi32(x);
    hi = _mm_cvtepi16_epi32(_mm_unpackhi_epi64(x, x));
}

#else  // SSE2 and the SSSE3 build: no 16-to-32-bit sign extension

typedef __m128i Vec;
constexpr int STEP = 8;

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

constexpr int HALF = STEP / 2;              // 32-bit lanes per vector
static_assert(ACC_SIZE % (4 * STEP) == 0, "accumulator rows split into blocks");

inline const i16 *weightRow(int feature) { return &network.ft_weights[feature * ACC_SIZE]; }

// row = ft_biases + the sum of the given feature rows. The row is built in
// blocks of 4 steps held in registers, so each sum is stored once.
void sumRows(i32 *row, const int *features, int count) {
    constexpr int BLOCK = 4 * STEP;
    for (int b = 0; b < ACC_SIZE; b += BLOCK) {
        Vec v[8];
        for (int s = 0; s < 4; s++) widen(&network.ft_biases[b + s * STEP], v[2 * s], v[2 * s + 1]);
        for (int n = 0; n < count; n++) {
            const i16 *w = weightRow(features[n]) + b;
            for (int s = 0; s < 4; s++) {
                Vec lo, hi;
                widen(w + s * STEP, lo, hi);
                v[2 * s] = add(v[2 * s], lo);
                v[2 * s + 1] = add(v[2 * s + 1], hi);
            }
        }
        for (int s = 0; s < 8; s++) store(row + b + s * HALF, v[s]);
    }
}

// row += added - removed.
void moveRow(i32 *row, int added, int removed) {
    const i16 *a = weightRow(added);
    const i16 *r = weightRow(removed);
    for (int i = 0; i < ACC_SIZE; i += STEP) {
        Vec alo, ahi, rlo, rhi;
        widen(a + i, alo, ahi);
        widen(r + i, rlo, rhi);
        store(row + i, add(load(row + i), sub(alo, rlo)));
        store(row + i + HALF, add(load(row + i + HALF), sub(ahi, rhi)));
    }
}

// row += added - removed - captured.
void moveCaptureRow(i32 *row, int added, int removed, int captured) {
    const i16 *a = weightRow(added);
    const i16 *r = weightRow(removed);
    const i16 *c = weightRow(captured);
    for (int i = 0; i < ACC_SIZE; i += STEP) {
        Vec alo, ahi, rlo, rhi, clo, chi;
        widen(a + i, alo, ahi);
        widen(r + i, rlo, rhi);
        widen(c + i, clo, chi);
        store(row + i, sub(add(load(row + i), sub(alo, rlo)), clo));
        store(row + i + HALF, sub(add(load(row + i + HALF), sub(ahi, rhi)), chi));
    }
}

// row -= removed.
void removeRow(i32 *row, int removed) {
    const i16 *r = weightRow(removed);
    for (int i = 0; i < ACC_SIZE; i += STEP) {
        Vec rlo, rhi;
        widen(r + i, rlo, rhi);
        store(row + i, sub(load(row + i), rlo));
        store(row + i + HALF, sub(load(row + i + HALF), rhi));
    }
}

// Recomputes the row of one perspective from the pieces of a record.
void refreshRow(const Ply *ply, int p) {
    const int king = ply->side[p].king_sq;
    int features[64];
    int count = 0;
    for (int type = PAWN; type <= QUEEN; type++) {
        for (int c = WHITE; c >= BLACK; c--) {
            u64 b = ply->side[c].pieces[type];
            const int r = c == p ? 0 : 1;
            while (b && count < 64) features[count++] = featureIndex(p, king, type - 1, r, popLsb(b));
        }
    }
    sumRows(accumulator[accRow(p)], features, count);
}

}  // namespace

void refreshAccumulator(const Ply *ply) {
    for (int p = BLACK; p <= WHITE; p++) refreshRow(ply, p);
}

void updateAccumulator(Move move, const Ply *ply, int mover, bool en_passant) {
    const int from = moveFrom(move);
    const int to = moveTo(move);
    const int type = movePiece(move);
    const int captured = moveCaptured(move);
    const int promotion = movePromotion(move);
    const int victim = en_passant ? (mover == WHITE ? to - 8 : to + 8) : to;
    for (int p = BLACK; p <= WHITE; p++) {
        const int king = ply->side[p].king_sq;
        const int r = p == mover ? 0 : 1;
        i32 *row = accumulator[accRow(p)];
        if (type == KING) {
            // The moving king anchors its own side's features: that row is
            // computed afresh. For the other side a king is no feature; only
            // the castling rook and a captured piece change its row.
            if (p == mover) {
                refreshRow(ply, p);
                continue;
            }
            if (to == from + 2 || to == from - 2) {
                const int rook_from = to == from + 2 ? from + 3 : from - 4;
                const int rook_to = to == from + 2 ? from + 1 : from - 1;
                moveRow(row, featureIndex(p, king, ROOK - 1, r, rook_to), featureIndex(p, king, ROOK - 1, r, rook_from));
            } else if (captured) {
                removeRow(row, featureIndex(p, king, captured - 1, 1 - r, to));
            }
            continue;
        }
        const int added = featureIndex(p, king, (promotion ? promotion : type) - 1, r, to);
        const int removed = featureIndex(p, king, type - 1, r, from);
        if (captured)
            moveCaptureRow(row, added, removed, featureIndex(p, king, captured - 1, 1 - r, victim));
        else
            moveRow(row, added, removed);
    }
}
