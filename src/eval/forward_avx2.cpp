// Forward pass of the AVX2 build, 256-bit.
//
// The 256-bit packs work within each 128-bit half, so after packing 32 values
// from 32 to 8 bits the 4-byte groups come out as a0-3 b0-3 c0-3 d0-3 |
// a4-7 b4-7 c4-7 d4-7. Where the order matters (the hidden outputs) one
// permutation of 32-bit lanes restores it; the transformed inputs are left in
// the packs' order and the layer-1 weights are stored to match.
//
// Layers 1 and 2 visit only the groups of four consecutive inputs (a quad, one
// 32-bit word) that are not all zero; most of the 512 clamped inputs of a real
// position are zero. For a live quad the word is broadcast, a byte
// multiply-add against the quad's weights of all 32 outputs gives two 16-bit
// sums per output, and a 16-bit multiply-add with ones adds them into the
// output's 32-bit lane. When the weights are small enough for the 16-bit sums
// of two quads to be added without overflow (prepareForwardPass checks), two quads
// share one widening step. Skipping zero inputs leaves every sum exact. The
// weights are kept for this in quad-major copies that prepareForwardPass builds:
// for quad q, the four weights of output o are bytes 4o..4o+3.

#if defined(CORVIX_ISA_AVX2)

#include <immintrin.h>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

const char *const NNUE_VECTOR_PATH = "avx2";

namespace {

// l1_quads[q][4 * o + k] = l1_weights[o][4 * q + k], likewise for layer 2.
alignas(64) i8 l1_quads[L1_INPUTS / 4][4 * L1_SIZE];
alignas(64) i8 l2_quads[L1_SIZE / 4][4 * L2_SIZE];

// Whether every byte multiply-add sum of a layer stays within half the 16-bit
// range (inputs are at most 127), so that the sums of two quads can be added
// in 16 bits exactly. Networks with large weights take the single-quad path.
bool l1_paired = false, l2_paired = false;

bool pairSumsFit(const i8 *weights, int inputs, int outputs) {
    for (int o = 0; o < outputs; o++)
        for (int j = 0; j < inputs; j += 2) {
            const int a = weights[o * inputs + j], b = weights[o * inputs + j + 1];
            if (127 * ((a < 0 ? -a : a) + (b < 0 ? -b : b)) > 16383) return false;
        }
    return true;
}

// Thirty-two 32-bit values to 32 bytes clamped to 0..127, in order: maximum
// with zero, signed saturating packs (the 16-to-8 pack caps at 127), then the
// lane fix-up.
inline __m256i clampPackUnordered(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i ab = _mm256_packs_epi32(_mm256_max_epi32(a, zero), _mm256_max_epi32(b, zero));
    __m256i cd = _mm256_packs_epi32(_mm256_max_epi32(c, zero), _mm256_max_epi32(d, zero));
    return _mm256_packs_epi16(ab, cd);
}

inline __m256i clampPack(__m256i a, __m256i b, __m256i c, __m256i d) {
    return _mm256_permutevar8x32_epi32(clampPackUnordered(a, b, c, d), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Where the packs leave each quad of a block of 32 values: the quad at byte
// position 4k holds the values 4 * QUAD_SOURCE[k] .. 4 * QUAD_SOURCE[k] + 3.
constexpr int QUAD_SOURCE[8] = {0, 2, 4, 6, 1, 3, 5, 7};

inline void transformRow(const i32 *row, u8 *out) {
    for (int i = 0; i < ACC_SIZE; i += 32) {
        _mm256_store_si256((__m256i *)(out + i),
                           clampPackUnordered(_mm256_load_si256((const __m256i *)(row + i)),
                                     _mm256_load_si256((const __m256i *)(row + i + 8)),
                                     _mm256_load_si256((const __m256i *)(row + i + 16)),
                                     _mm256_load_si256((const __m256i *)(row + i + 24))));
    }
}

// The same for 16-bit sums: one signed saturating pack of 16 to 8 bits caps
// at 127, the maximum with zero does the rest. The pack leaves the quads of
// a block of 32 values as 0 1 4 5 2 3 6 7; one permutation of 32-bit lanes
// puts them in the order of transformRow (QUAD_SOURCE), which the layer-1
// weights follow.
inline void transformRowNarrow(const i16 *row, u8 *out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i order = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
    for (int i = 0; i < ACC_SIZE; i += 32) {
        const __m256i packed = _mm256_packs_epi16(_mm256_load_si256((const __m256i *)(row + i)),
                                                  _mm256_load_si256((const __m256i *)(row + i + 16)));
        _mm256_store_si256((__m256i *)(out + i),
                           _mm256_permutevar8x32_epi32(_mm256_max_epi8(packed, zero), order));
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

// One layer of 32 outputs over the non-zero input quads (four consecutive
// inputs, one 32-bit word). The inputs are 0..127, so a quad is non-zero
// exactly when its word is positive.
template <int N>
inline void sparseLayer(const u8 *input, const i8 (*weights)[4 * 32], bool paired, const i32 *biases, u8 *out) {
    alignas(32) u16 live[N / 4 + 8];
    int count = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (int chunk = 0; chunk < N; chunk += 32) {
        __m256i v = _mm256_load_si256((const __m256i *)(input + chunk));
        const u32 m = (u32)_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, zero)));
        __m128i idx = _mm_cvtepu8_epi16(_mm_loadl_epi64((const __m128i *)bit_positions.at[m]));
        idx = _mm_add_epi16(idx, _mm_set1_epi16((short)(chunk / 4)));
        _mm_storeu_si128((__m128i *)(live + count), idx);
        count += __builtin_popcount(m);
    }

    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i *bias = (const __m256i *)biases;
    __m256i s0 = _mm256_load_si256(bias), s1 = _mm256_load_si256(bias + 1);
    __m256i s2 = _mm256_load_si256(bias + 2), s3 = _mm256_load_si256(bias + 3);
    const u32 *quads = (const u32 *)input;
    int i = 0;
    if (paired) {
        // The 16-bit sums of two quads cannot overflow (prepareForwardPass has
        // checked the weights): add them before widening to 32 bits.
        for (; i + 1 < count; i += 2) {
            const int q = live[i], r = live[i + 1];
            const __m256i a = _mm256_set1_epi32((int)quads[q]), b = _mm256_set1_epi32((int)quads[r]);
            const __m256i *w = (const __m256i *)weights[q], *x = (const __m256i *)weights[r];
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(a, _mm256_load_si256(w)),
                                                                         _mm256_maddubs_epi16(b, _mm256_load_si256(x))),
                                                        ones));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(a, _mm256_load_si256(w + 1)),
                                                                         _mm256_maddubs_epi16(b, _mm256_load_si256(x + 1))),
                                                        ones));
            s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(a, _mm256_load_si256(w + 2)),
                                                                         _mm256_maddubs_epi16(b, _mm256_load_si256(x + 2))),
                                                        ones));
            s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(a, _mm256_load_si256(w + 3)),
                                                                         _mm256_maddubs_epi16(b, _mm256_load_si256(x + 3))),
                                                        ones));
        }
    }
    for (; i < count; i++) {
        const int q = live[i];
        const __m256i in = _mm256_set1_epi32((int)quads[q]);
        const __m256i *w = (const __m256i *)weights[q];
        s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_maddubs_epi16(in, _mm256_load_si256(w)), ones));
        s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_maddubs_epi16(in, _mm256_load_si256(w + 1)), ones));
        s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(_mm256_maddubs_epi16(in, _mm256_load_si256(w + 2)), ones));
        s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(_mm256_maddubs_epi16(in, _mm256_load_si256(w + 3)), ones));
    }
    _mm256_store_si256((__m256i *)out, clampPack(_mm256_srai_epi32(s0, 6), _mm256_srai_epi32(s1, 6),
                                                 _mm256_srai_epi32(s2, 6), _mm256_srai_epi32(s3, 6)));
}

}  // namespace

void prepareForwardPass() {
    // The transformed inputs are left in the order of the packs: the weights
    // of each quad follow its values there.
    for (int q = 0; q < L1_INPUTS / 4; q++) {
        const int source = (q & ~7) + QUAD_SOURCE[q & 7];
        for (int o = 0; o < L1_SIZE; o++)
            for (int k = 0; k < 4; k++) l1_quads[q][4 * o + k] = network.l1_weights[o * L1_INPUTS + 4 * source + k];
    }
    for (int q = 0; q < L1_SIZE / 4; q++)
        for (int o = 0; o < L2_SIZE; o++)
            for (int k = 0; k < 4; k++) l2_quads[q][4 * o + k] = network.l2_weights[o * L1_SIZE + 4 * q + k];
    l1_paired = pairSumsFit(network.l1_weights, L1_INPUTS, L1_SIZE);
    l2_paired = pairSumsFit(network.l2_weights, L1_SIZE, L2_SIZE);
}

namespace {

// Layers 1 and 2 and the output, from the transformed inputs.
int forwardLayers(const u8 *input) {
    alignas(32) u8 hidden1[L1_SIZE];
    alignas(32) u8 hidden2[L2_SIZE];

    sparseLayer<L1_INPUTS>(input, l1_quads, l1_paired, network.l1_biases, hidden1);
    sparseLayer<L1_SIZE>(hidden1, l2_quads, l2_paired, network.l2_biases, hidden2);

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

}  // namespace

int nnueForwardVector(const i32 acc[2][ACC_SIZE], int side_to_move) {
    return forwardRows(acc, side_to_move, transformRow, forwardLayers);
}

int nnueForwardNarrow(const i16 acc[2][ACC_SIZE], int side_to_move) {
    return forwardRows(acc, side_to_move, transformRowNarrow, forwardLayers);
}
#endif
