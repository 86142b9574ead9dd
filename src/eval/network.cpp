#include "eval/network.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "platform/memory.h"

const char *const NNUE_FILE = "nn-82215d0fd0df.nnue";

namespace {

// The parameters take about 21 MB, and every accumulator step reads rows from
// all over them: they live in a block of their own that the system may back
// with large pages, which spares most of the address-translation misses.
NetworkParams &allocateParams() {
    void *block = allocateZeroed(sizeof(NetworkParams));
    if (block) return *static_cast<NetworkParams *>(block);
    return *new NetworkParams();
}

}  // namespace

NetworkParams &network = allocateParams();

namespace {

// Reads size bytes; false when the file ends (or fails) before all of them
// arrived. A file shorter than the layout is refused: its missing parameters
// would be zero and the engine would play on a broken evaluation.
bool readBlock(FILE *f, void *dst, size_t size) { return std::fread(dst, 1, size, f) == size; }

bool readWord(FILE *f, u32 *word) {
    unsigned char b[4] = {0, 0, 0, 0};
    if (!readBlock(f, b, 4)) return false;
    *word = (u32)b[0] | ((u32)b[1] << 8) | ((u32)b[2] << 16) | ((u32)b[3] << 24);
    return true;
}

// Little-endian file, little-endian machine: the arrays are read as they are.
static_assert(sizeof(i16) == 2 && sizeof(i32) == 4, "parameter widths");

bool readNetworkFile(const char *name) {
    std::memset(&network, 0, sizeof(network));
    FILE *f = std::fopen(name ? name : NNUE_FILE, "rb");
    if (!f) return false;

    long long file_size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) file_size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);

    u32 word, description_word;
    bool complete = readWord(f, &word)                  // version
                    && readWord(f, &word)               // network hash
                    && readWord(f, &description_word);  // length of the description text
    const i32 description = (i32)description_word;
    if (!complete || description < 0 || (file_size >= 0 && 12LL + description > file_size) ||
        std::fseek(f, 12L + description, SEEK_SET) != 0) {
        std::fclose(f);
        std::memset(&network, 0, sizeof(network));
        return false;
    }

    // The rest in file order; the two hash words are read and dropped.
    const struct {
        void *dst;
        size_t size;
    } blocks[] = {
        {&word, 4},  // feature transformer hash
        {network.ft_biases, sizeof(network.ft_biases)},
        {network.ft_weights, sizeof(network.ft_weights)},
        {&word, 4},  // network hash
        {network.l1_biases, sizeof(network.l1_biases)},
        {network.l1_weights, sizeof(network.l1_weights)},
        {network.l2_biases, sizeof(network.l2_biases)},
        {network.l2_weights, sizeof(network.l2_weights)},
        {&network.out_bias, sizeof(network.out_bias)},
        {network.out_weights, sizeof(network.out_weights)},
    };
    for (const auto &block : blocks)
        if (complete) complete = readBlock(f, block.dst, block.size);

    // Four more bytes mean the file is longer than the layout (one to three
    // trailing bytes are tolerated).
    unsigned char extra[4];
    bool longer = complete && std::fread(extra, 4, 1, f) == 1;
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (!complete || longer || failed) {
        std::memset(&network, 0, sizeof(network));
        return false;
    }
    return true;
}

// The largest magnitude among n 16-bit values (n a multiple of 8, the array
// 16-byte aligned), eight at a time: the weights are ten million values, and
// every prepareNetwork looks at all of them.
int largestMagnitude(const i16 *values, size_t n) {
    __m128i high = _mm_setzero_si128(), low = high;
    for (size_t i = 0; i < n; i += 8) {
        const __m128i v = _mm_load_si128((const __m128i *)(values + i));
        high = _mm_max_epi16(high, v);
        low = _mm_min_epi16(low, v);
    }
    alignas(16) i16 h[8], l[8];
    _mm_store_si128((__m128i *)h, high);
    _mm_store_si128((__m128i *)l, low);
    int largest = 0;
    for (int k = 0; k < 8; k++) largest = std::max({largest, (int)h[k], -(int)l[k]});
    return largest;
}

}  // namespace

bool sumsFitIn16Bits() {
    static_assert(ACC_SIZE % 8 == 0, "whole vectors of biases and weights");
    const int largest_bias = largestMagnitude(network.ft_biases, ACC_SIZE);
    const int largest_weight = largestMagnitude(network.ft_weights, (size_t)NNUE_INPUTS * ACC_SIZE);
    return largest_bias + 62 * largest_weight <= 32767;
}

void prepareNetwork() {
    prepareForwardPass();
    narrow_sums = sumsFitIn16Bits();
    invalidateAccumulators();
}

bool loadNetwork(const char *name) {
    bool ok = readNetworkFile(name);
    prepareNetwork();
    return ok;
}
