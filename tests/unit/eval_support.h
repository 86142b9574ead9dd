// Helpers shared by the evaluation unit tests.
#pragma once

#include <cstring>
#include <memory>
#include <random>

#include "board/types.h"
#include "eval/accumulator.h"
#include "eval/network.h"

// Saves the whole parameter block and puts it back when it goes out of
// scope, so that tests may fill the network with made-up values (or load
// other files) without disturbing the tests that use the real network.
// Tests that change parameters call prepareNetwork before evaluating.
class NetworkSnapshot {
public:
    NetworkSnapshot() : saved_(new NetworkParams(network)) {}
    ~NetworkSnapshot() {
        std::memcpy(&network, saved_.get(), sizeof(NetworkParams));
        prepareNetwork();
    }
    NetworkSnapshot(const NetworkSnapshot &) = delete;
    NetworkSnapshot &operator=(const NetworkSnapshot &) = delete;

private:
    std::unique_ptr<NetworkParams> saved_;
};

// Both rows of the network's sums for the pieces of a record, summed one
// weight at a time straight from the definition (white's row first):
// biases, then for each non-king piece the row 641 * o(K) + 1 + 64 * (2k + r)
// + o(s), with o(s) = s for white and s XOR 63 for black, K the perspective's
// king, k = type - 1 and r = 0 for the perspective's own pieces.
inline void definitionRows(const Ply *ply, i32 out[2][ACC_SIZE]) {
    for (int p = BLACK; p <= WHITE; p++) {
        i32 *row = out[p == WHITE ? 0 : 1];
        auto o = [p](int sq) { return p == WHITE ? sq : sq ^ 63; };
        for (int i = 0; i < ACC_SIZE; i++) row[i] = network.ft_biases[i];
        for (int c = BLACK; c <= WHITE; c++)
            for (int type = PAWN; type <= QUEEN; type++)
                for (u64 b = ply->side[c].pieces[type]; b; b &= b - 1) {
                    const int feature =
                        641 * o(ply->side[p].king_sq) + 1 + 64 * (2 * (type - 1) + (c == p ? 0 : 1)) + o(__builtin_ctzll(b));
                    const i16 *w = &network.ft_weights[(size_t)feature * ACC_SIZE];
                    for (int i = 0; i < ACC_SIZE; i++) row[i] += w[i];
                }
    }
}

// Fills the feature transformer with pseudo-random values: over the whole
// int16 range, so that the sums need 32 bits and any misplaced row shows, or
// (fits16) small enough that every sum fits in 16 bits, which are then kept
// in 16 bits.
inline void randomTransformer(std::mt19937_64 &rng, bool fits16) {
    for (auto &b : network.ft_biases) b = fits16 ? (i16)((int)(rng() % 601) - 300) : (i16)rng();
    for (auto &w : network.ft_weights) w = fits16 ? (i16)((int)(rng() % 801) - 400) : (i16)rng();
    prepareNetwork();
}

// curr_ply's sums as the evaluation finds them, as 32-bit values whatever
// width they are kept in (white's row first).
struct Sums {
    alignas(64) i32 rows[2][ACC_SIZE];
};
inline Sums currentSums() {
    Sums s;
    accumulatorRows(currentAccumulator(), s.rows);
    return s;
}

// Uniform integer in [lo, hi].
template <typename T>
inline T uniform(std::mt19937_64 &rng, long long lo, long long hi) {
    return (T)std::uniform_int_distribution<long long>(lo, hi)(rng);
}
