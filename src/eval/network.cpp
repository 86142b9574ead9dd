#include "eval/network.h"

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

// Reads size bytes; a short read leaves the rest of the destination as it was
// (zero), which is how a truncated file is meant to load.
void readBlock(FILE *f, void *dst, size_t size) {
    size_t got = std::fread(dst, 1, size, f);
    (void)got;
}

u32 readWord(FILE *f) {
    unsigned char b[4] = {0, 0, 0, 0};
    readBlock(f, b, 4);
    return (u32)b[0] | ((u32)b[1] << 8) | ((u32)b[2] << 16) | ((u32)b[3] << 24);
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

    readWord(f);                        // version
    readWord(f);                        // network hash
    i32 description = (i32)readWord(f); // length of the description text
    if (description < 0 || (file_size >= 0 && 12LL + description > file_size)) {
        std::fclose(f);
        return false;
    }
    if (std::fseek(f, 12L + description, SEEK_SET) != 0) {
        std::fclose(f);
        return false;
    }

    readWord(f);  // feature transformer hash
    readBlock(f, network.ft_biases, sizeof(network.ft_biases));
    readBlock(f, network.ft_weights, sizeof(network.ft_weights));
    readWord(f);  // network hash
    readBlock(f, network.l1_biases, sizeof(network.l1_biases));
    readBlock(f, network.l1_weights, sizeof(network.l1_weights));
    readBlock(f, network.l2_biases, sizeof(network.l2_biases));
    readBlock(f, network.l2_weights, sizeof(network.l2_weights));
    readBlock(f, &network.out_bias, sizeof(network.out_bias));
    readBlock(f, network.out_weights, sizeof(network.out_weights));

    unsigned char extra[4];
    bool longer = std::fread(extra, 4, 1, f) == 1;
    // A file that ends early loads with zeros, but a read that failed (the
    // name is a directory, an I/O error) is not a short file.
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (longer || failed) {
        std::memset(&network, 0, sizeof(network));
        return false;
    }
    return true;
}

}  // namespace

void prepareNetwork() {
    prepareForwardPass();
    invalidateAccumulators();
}

bool loadNetwork(const char *name) {
    bool ok = readNetworkFile(name);
    prepareNetwork();
    return ok;
}
