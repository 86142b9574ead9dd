// Forward pass of the AVX2 build, 256-bit.
//
// The 256-bit packs work within each 128-bit half, so after packing 32 values
// from 32 to 8 bits the 4-byte groups come out as a0-3 b0-3 c0-3 d0-3 |
// a4-7 b4-7 c4-7 d4-7; one permutation of 32-bit lanes restores the order.
//
// Layer 1 works on the inputs that are not zero (most of the 512 clamped
// inputs of a real position are): for every pair of inputs (2p, 2p + 1) with
// a non-zero value, one 16-bit multiply-add against the 32 outputs' weight
// pairs adds both products to each output's 32-bit sum. The weights are kept
// for this in a second table, pair-major and widened to 16 bits, which
// prepareNetwork builds from l1_weights. Zero inputs add nothing, so skipping
// them leaves every sum exact. Layer 2 is dense: byte multiply-add, 32 inputs
// per step.
#if defined(CORVIX_ISA_AVX2)

#include <immintrin.h>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

const char *const NNUE_VECTOR_PATH = "avx2";

namespace {

// l1_pairs[p][2 * o + k] = l1_weights[o][2 * p + k]: the weights of input pair
// p for outputs 0..31, two per 32-bit lane, in output order.
alignas(64) i16 l1_pairs[L1_INPUTS / 2][2 * L1_SIZE];

// Thirty-two 32-bit values to 32 bytes clamped to 0..127, in order: maximum
// with zero, signed saturating packs (the 16-to-8 pack caps at 127), then the
// lane fix-up.
inline __m256i clampPack(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i ab = _mm256_packs_epi32(_mm256_max_epi32(a, zero), _mm256_max_epi32(b, zero));
    __m256i cd = _mm256_packs_epi32(_mm256_max_epi32(c, zero), _mm256_max_epi32(d, zero));
    __m256i packed = _mm256_packs_epi16(ab, cd);
    return _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

inline __m256i dotStep(__m256i input, const i8 *weights) {
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i pairs = _mm256_maddubs_epi16(input, _mm256_loadu_si256((const __m256i *)weights));
    return _mm256_madd_epi16(pairs, ones);
}

// Horizontal sums of eight vectors as the eight lanes of one vector, in order.
inline __m256i sum8(__m256i a, __m256i b, __m256i c, __m256i d, __m256i e, __m256i f, __m256i g, __m256i h) {
    __m256i abcd = _mm256_hadd_epi32(_mm256_hadd_epi32(a, b), _mm256_hadd_epi32(c, d));
    __m256i efgh = _mm256_hadd_epi32(_mm256_hadd_epi32(e, f), _mm256_hadd_epi32(g, h));
    return _mm256_add_epi32(_mm256_permute2x128_si256(abcd, efgh, 0x20),
                            _mm256_permute2x128_si256(abcd, efgh, 0x31));
}

// One dense layer of 32 outputs over N input bytes (N a multiple of 32),
// eight outputs at a time; each input vector is loaded once per group.
template <int N>
inline void layer(const u8 *input, const i8 *weights, const i32 *biases, u8 *out) {
    __m256i s[4];
    for (int o = 0; o < 32; o += 8) {
        const i8 *w = weights + o * N;
        __m256i a[8];
        for (int k = 0; k < 8; k++) a[k] = _mm256_setzero_si256();
        for (int j = 0; j < N; j += 32) {
            __m256i in = _mm256_load_si256((const __m256i *)(input + j));
            for (int k = 0; k < 8; k++) a[k] = _mm256_add_epi32(a[k], dotStep(in, w + k * N + j));
        }
        __m256i sums = sum8(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        sums = _mm256_add_epi32(sums, _mm256_load_si256((const __m256i *)(biases + o)));
        s[o / 8] = _mm256_srai_epi32(sums, 6);
    }
    _mm256_store_si256((__m256i *)out, clampPack(s[0], s[1], s[2], s[3]));
}

inline void transformRow(const i32 *row, u8 *out) {
    for (int i = 0; i < ACC_SIZE; i += 32) {
        _mm256_store_si256((__m256i *)(out + i),
                           clampPack(_mm256_load_si256((const __m256i *)(row + i)),
                                     _mm256_load_si256((const __m256i *)(row + i + 8)),
                                     _mm256_load_si256((const __m256i *)(row + i + 16)),
                                     _mm256_load_si256((const __m256i *)(row + i + 24))));
    }
}

// Positions of the set bits of every byte value, for compacting bit masks
// into index lists without a branch per bit.
struct BitPositions {
    alignas(8) u8 at[256][8];
    BitPositions() {
        for (int m = 0; m < 256; m++) {
            int n = 0;
            for (int b = 0; b < 8; b++)
                if (m & (1 << b)) at[m][n++] = (u8)b;
            while (n < 8) at[m][n++] = 0;
        }
    }
};
const BitPositions bit_positions;

// Layer 1 over the non-zero input pairs. The input bytes are 0..127.
inline void sparseLayer1(const u8 *input, u8 *out) {
    // The inputs widened to 16 bits, so that a pair is one 32-bit word, and
    // the list of the pairs that are not zero.
    alignas(32) u16 wide[L1_INPUTS];
    alignas(32) u16 live[L1_INPUTS / 2 + 8];
    int count = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (int chunk = 0; chunk < L1_INPUTS; chunk += 32) {
        __m256i v = _mm256_load_si256((const __m256i *)(input + chunk));
        _mm256_store_si256((__m256i *)(wide + chunk), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_store_si256((__m256i *)(wide + chunk + 16), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        // Two mask bits per 16-bit pair; keep one of them.
        u32 zeros = (u32)_mm256_movemask_epi8(_mm256_cmpeq_epi16(v, zero));
        u32 mask = ~_pext_u32(zeros, 0x55555555u) & 0xffffu;
        for (int half = 0; half < 2; half++) {
            const u32 m = (mask >> (8 * half)) & 0xff;
            __m128i idx = _mm_cvtepu8_epi16(_mm_loadl_epi64((const __m128i *)bit_positions.at[m]));
            idx = _mm_add_epi16(idx, _mm_set1_epi16((short)(chunk / 2 + 8 * half)));
            _mm_storeu_si128((__m128i *)(live + count), idx);
            count += __builtin_popcount(m);
        }
    }

    const __m256i *bias = (const __m256i *)network.l1_biases;
    __m256i s0 = _mm256_load_si256(bias), s1 = _mm256_load_si256(bias + 1);
    __m256i s2 = _mm256_load_si256(bias + 2), s3 = _mm256_load_si256(bias + 3);
    const u32 *pairs = (const u32 *)wide;
    for (int i = 0; i < count; i++) {
        const int p = live[i];
        const __m256i in = _mm256_set1_epi32((int)pairs[p]);
        const __m256i *w = (const __m256i *)l1_pairs[p];
        s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(in, _mm256_load_si256(w)));
        s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(in, _mm256_load_si256(w + 1)));
        s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(in, _mm256_load_si256(w + 2)));
        s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(in, _mm256_load_si256(w + 3)));
    }
    _mm256_store_si256((__m256i *)out, clampPack(_mm256_srai_epi32(s0, 6), _mm256_srai_epi32(s1, 6),
                                                 _mm256_srai_epi32(s2, 6), _mm256_srai_epi32(s3, 6)));
}

}  // namespace

void prepareNetwork() {
    for (int p = 0; p < L1_INPUTS / 2; p++)
        for (int o = 0; o < L1_SIZE; o++)
            for (int k = 0; k < 2; k++) l1_pairs[p][2 * o + k] = network.l1_weights[o * L1_INPUTS + 2 * p + k];
}

int nnueForwardVector(const i32 acc[2][ACC_SIZE], int side_to_move) {
    alignas(32) u8 input[L1_INPUTS];
    alignas(32) u8 hidden1[L1_SIZE];
    alignas(32) u8 hidden2[L2_SIZE];

    transformRow(acc[accRow(side_to_move)], input);
    transformRow(acc[accRow(side_to_move ^ 1)], input + ACC_SIZE);

    sparseLayer1(input, hidden1);
    layer<L1_SIZE>(hidden1, network.l2_weights, network.l2_biases, hidden2);

    // Output layer: bytes extended to 16 bits, 16-bit multiply-add.
    __m256i sum = _mm256_setzero_si256();
    for (int j = 0; j < L2_SIZE; j += 16) {
        __m256i in = _mm256_cvtepu8_epi16(_mm_load_si128((const __m128i *)(hidden2 + j)));
        __m256i w = _mm256_cvtepi8_epi16(_mm_loadu_si128((const __m128i *)(network.out_weights + j)));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(in, w));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s = _mm_hadd_epi32(s, s);
    s = _mm_hadd_epi32(s, s);
    i32 v = (i32)((u32)_mm_cvtsi128_si32(s) + (u32)network.out_bias);
    return scaleOutput(v);
}

#endif
