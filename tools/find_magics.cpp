// Finds the magic multipliers of the slider tables (board/sliders.cpp).
//
// Every rook index is taken with a shift of 52 (12 bits) and every bishop index
// with a shift of 55 (9 bits), whatever the size of the square's mask. For
// each square the tool looks for a multiplier that sends every occupancy
// subset of the mask to a slot that no subset with a different attack set
// uses. The multipliers of a1-d1 are fixed; the tool only checks them. The
// search is seeded, so the output is the same on every run.
//
// Not part of the build. Build and run it by hand:
//   g++ -O2 -std=c++17 -o find_magics tools/find_magics.cpp && ./find_magics
// and paste its output over the tables in src/board/sliders.cpp.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

typedef uint64_t u64;

static const u64 FIXED_ROOK[4] = {0x2380004000201080ULL, 0x00c0084100401024ULL, 0x6020022008002401ULL,
                                  0x2010002400020090ULL};
static const u64 FIXED_BISHOP[4] = {0x0020041844091814ULL, 0x0404021044210181ULL, 0x190e120900082210ULL,
                                    0x000a4080150002d0ULL};

static u64 rng_state = 0x9e3779b97f4a7c15ULL;

static u64 next64() {  // xorshift64*
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return rng_state * 0x2545f4914f6cdd1dULL;
}

// Sparse candidates find magics much faster than uniform ones.
static u64 sparse64() { return next64() & next64() & next64(); }

static int popCount(u64 b) { return __builtin_popcountll(b); }

// Attack set from sq along the given directions, stopping after the first
// occupied square.
static u64 walk(int sq, u64 occupancy, const int (*dirs)[2]) {
    u64 set = 0;
    for (int d = 0; d < 4; d++) {
        int f = sq % 8 + dirs[d][0], r = sq / 8 + dirs[d][1];
        while (f >= 0 && f < 8 && r >= 0 && r < 8) {
            set |= 1ULL << (r * 8 + f);
            if (occupancy & (1ULL << (r * 8 + f))) break;
            f += dirs[d][0];
            r += dirs[d][1];
        }
    }
    return set;
}

static const int ROOK_DIRS[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
static const int BISHOP_DIRS[4][2] = {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}};

// Relevant occupancy: the rays without the edge squares the slider stands off.
static u64 mask(int sq, const int (*dirs)[2]) {
    u64 edges = 0;
    if (sq % 8 != 0) edges |= 0x0101010101010101ULL;
    if (sq % 8 != 7) edges |= 0x8080808080808080ULL;
    if (sq / 8 != 0) edges |= 0x00000000000000ffULL;
    if (sq / 8 != 7) edges |= 0xff00000000000000ULL;
    return walk(sq, 0, dirs) & ~edges;
}

// Whether magic maps every subset of the mask to a slot that holds only
// subsets with the same attack set.
static bool works(u64 magic, int shift, const std::vector<u64> &subsets, const std::vector<u64> &attacks,
                  std::vector<u64> &table, std::vector<int> &stamp, int round) {
    for (size_t i = 0; i < subsets.size(); i++) {
        u64 index = (subsets[i] * magic) >> shift;
        if (stamp[index] != round) {
            stamp[index] = round;
            table[index] = attacks[i];
        } else if (table[index] != attacks[i]) {
            return false;
        }
    }
    return true;
}

static void findAll(const char *name, const int (*dirs)[2], int shift, const u64 *fixed) {
    u64 magics[64];
    int slots = 1 << (64 - shift);
    std::vector<u64> table(slots);
    std::vector<int> stamp(slots, 0);
    int round = 0;
    for (int sq = 0; sq < 64; sq++) {
        u64 m = mask(sq, dirs);
        std::vector<u64> subsets, attacks;
        u64 subset = 0;
        do {  // every subset of m (carry-rippler)
            subsets.push_back(subset);
            attacks.push_back(walk(sq, subset, dirs));
            subset = (subset - m) & m;
        } while (subset);
        if (sq < 4) {
            if (!works(fixed[sq], shift, subsets, attacks, table, stamp, ++round)) {
                std::fprintf(stderr, "fixed %s multiplier of square %d does not work\n", name, sq);
                std::exit(1);
            }
            magics[sq] = fixed[sq];
            continue;
        }
        for (;;) {
            u64 magic = sparse64();
            if (popCount((m * magic) >> 56) < 6) continue;  // cheap filter: poor top bits
            if (works(magic, shift, subsets, attacks, table, stamp, ++round)) {
                magics[sq] = magic;
                break;
            }
        }
    }
    std::printf("const u64 %s[64] = {\n", name);
    for (int sq = 0; sq < 64; sq++)
        std::printf("%s0x%016llxULL,%s", sq % 4 == 0 ? "    " : " ", (unsigned long long)magics[sq],
                    sq % 4 == 3 ? "\n" : "");
    std::printf("};\n");
}

int main() {
    findAll("ROOK_MAGIC", ROOK_DIRS, 52, FIXED_ROOK);
    findAll("BISHOP_MAGIC", BISHOP_DIRS, 55, FIXED_BISHOP);
    return 0;
}
