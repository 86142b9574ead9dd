// The vector forward pass of this build against the scalar reference, and
// both against values worked out by hand for the clamps and the final scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"
#include "unit/eval_support.h"

namespace {

alignas(64) i32 acc[2][ACC_SIZE];

// The vector pass after the parameters were changed by the test. The pass
// over 16-bit sums is checked too, against the reference on the same values
// brought into the int16 range.
int vectorPass(const i32 a[2][ACC_SIZE], int side) {
    prepareNetwork();
    alignas(64) static i32 clipped[2][ACC_SIZE];
    alignas(64) static i16 narrow[2][ACC_SIZE];
    for (int r = 0; r < 2; r++)
        for (int i = 0; i < ACC_SIZE; i++) {
            clipped[r][i] = std::min(std::max(a[r][i], (i32)INT16_MIN), (i32)INT16_MAX);
            narrow[r][i] = (i16)clipped[r][i];
        }
    EXPECT_EQ(nnueForwardNarrow(narrow, side), nnueForwardReference(clipped, side)) << "16-bit sums, side " << side;
    return nnueForwardVector(a, side);
}

void clearLayers() {
    std::memset(network.l1_biases, 0, sizeof network.l1_biases);
    std::memset(network.l1_weights, 0, sizeof network.l1_weights);
    std::memset(network.l2_biases, 0, sizeof network.l2_biases);
    std::memset(network.l2_weights, 0, sizeof network.l2_weights);
    network.out_bias = 0;
    std::memset(network.out_weights, 0, sizeof network.out_weights);
}

// Random layers. Weights are drawn from [-limit, limit - 1] (limit 128 is the
// full int8 range); biases are scaled to the typical size of the weighted sums
// so that all three regions of the activation (0, 1..126, 127) occur, and now
// and then they take any 32-bit value.
void randomLayers(std::mt19937_64 &rng, int limit) {
    auto bias = [&](long long spread) -> i32 {
        if (uniform<int>(rng, 0, 19) == 0) return uniform<i32>(rng, INT_MIN, INT_MAX);
        return uniform<i32>(rng, -spread, spread);
    };
    const long long w2 = (long long)limit * limit / 3 + 1;  // mean square weight
    const long long l1_spread = 8192 + 2 * (long long)std::sqrt(512.0 * 2700 * w2);
    const long long l2_spread = 8192 + 2 * (long long)std::sqrt(32.0 * 5400 * w2);
    for (auto &w : network.l1_weights) w = uniform<i8>(rng, -limit, limit - 1);
    for (auto &w : network.l2_weights) w = uniform<i8>(rng, -limit, limit - 1);
    for (auto &w : network.out_weights) w = uniform<i8>(rng, -limit, limit - 1);
    for (auto &b : network.l1_biases) b = bias(l1_spread);
    for (auto &b : network.l2_biases) b = bias(l2_spread);
    network.out_bias = bias(200000);
}

// Accumulator values: mostly around the clamp range, some far outside it and
// some at the limits of int32.
void randomAccumulator(std::mt19937_64 &rng) {
    static const i32 SPECIAL[] = {INT_MIN, INT_MAX, -1000000, 1000000, -1, 0, 1, 126, 127, 128, 255, 256, -128};
    for (auto &row : acc)
        for (auto &v : row) {
            int pick = uniform<int>(rng, 0, 99);
            if (pick < 5) v = SPECIAL[uniform<int>(rng, 0, sizeof SPECIAL / sizeof SPECIAL[0] - 1)];
            else if (pick < 15) v = uniform<i32>(rng, -40000, 40000);
            else v = uniform<i32>(rng, -150, 280);
        }
}

TEST(EvalForward, VectorPathMatchesReferenceOnRandomNetworks) {
    NetworkSnapshot snapshot;
    std::mt19937_64 rng(20240611);
    const int LIMITS[] = {128, 32, 4, 1};
    for (int set = 0; set < 48; set++) {
        randomLayers(rng, LIMITS[set % 4]);
        for (int pos = 0; pos < 40; pos++) {
            randomAccumulator(rng);
            for (int side : {WHITE, BLACK}) {
                int expected = nnueForwardReference(acc, side);
                ASSERT_EQ(vectorPass(acc, side), expected)
                    << NNUE_VECTOR_PATH << ": parameter set " << set << ", position " << pos << ", side " << side;
            }
        }
    }
}

// Every input at 127 and every pair of layer-1 weights as large as it can be
// while the byte multiply-add sums of two input groups still add up exactly in
// 16 bits (|a| + |b| = 129), and one step beyond that; both signs.
TEST(EvalForward, LargestWeightPairsStayExact) {
    NetworkSnapshot snapshot;
    for (auto &row : acc)
        for (auto &v : row) v = 1000;
    for (int pair_sum : {129, 130}) {
        for (int sign : {1, -1}) {
            clearLayers();
            for (int i = 0; i < L1_SIZE * L1_INPUTS; i += 2) {
                network.l1_weights[i] = (i8)(sign * 64);
                network.l1_weights[i + 1] = (i8)(sign * (pair_sum - 64));
            }
            for (int o = 0; o < L2_SIZE; o++) network.l2_weights[o * L1_SIZE + o] = 64;
            for (auto &w : network.out_weights) w = 1;
            for (auto &b : network.l1_biases) b = -sign * 127 * pair_sum * 256 + 4000;
            for (int side : {WHITE, BLACK})
                EXPECT_EQ(vectorPass(acc, side), nnueForwardReference(acc, side))
                    << NNUE_VECTOR_PATH << ": pair sum " << pair_sum << ", sign " << sign;
        }
    }
}

// The clamped input j of the side to move (or of the other side for j >= 256)
// goes through output o = j % 32 of layer 1 with weight 64 and through output
// q of layer 2 with weight 64, so hidden2[q] equals that input exactly; the
// output weight 127 keeps every value 0..127 distinct after the scale.
int expectedFromHidden(int h) { return 127 * h * 100 / 3328; }

void routeThrough(int o, int q) {
    network.l2_weights[q * L1_SIZE + o] = 64;
    network.out_weights[q] = 127;
}

TEST(EvalForward, EveryInputReachesItsOwnWeightColumn) {
    NetworkSnapshot snapshot;
    for (int side : {WHITE, BLACK}) {
        for (int j = 0; j < L1_INPUTS; j++) {
            clearLayers();
            std::memset(acc, 0, sizeof acc);
            const int o = j % 32, q = (7 * o + 3) % 32;
            network.l1_weights[o * L1_INPUTS + j] = 64;
            routeThrough(o, q);
            const int value = 1 + j % 126;
            const int row = j < ACC_SIZE ? accRow(side) : accRow(side ^ 1);
            acc[row][j % ACC_SIZE] = value;
            // A value in the other side's row at the same place must not leak in.
            acc[row ^ 1][j % ACC_SIZE] = 100;
            network.l1_weights[o * L1_INPUTS + (j + ACC_SIZE) % L1_INPUTS] = 0;
            EXPECT_EQ(nnueForwardReference(acc, side), expectedFromHidden(value)) << "input " << j;
            EXPECT_EQ(vectorPass(acc, side), expectedFromHidden(value)) << "input " << j;
        }
    }
}

TEST(EvalForward, HiddenActivationClampsAndShifts) {
    NetworkSnapshot snapshot;
    struct Case {
        i32 bias;       // layer-1 bias of the output under test
        i32 input;      // accumulator value of input 5 of the side to move
        i8 weight;      // its layer-1 weight
        int hidden;     // expected activation
    } cases[] = {
        {8191, 0, 0, 127},     {8192, 0, 0, 127},     {8127, 0, 0, 126},   {64, 0, 0, 1},
        {63, 0, 0, 0},         {0, 0, 0, 0},          {-1, 0, 0, 0},       {INT_MIN, 0, 0, 0},
        {INT_MAX, 0, 0, 127},  {63, 127, 64, 127},    {64, 127, 64, 127},  {0, 1, -1, 0},
        {64, 1, -1, 0},        {65, 1, -1, 1},        {0, 500, 64, 127},   {0, -5, 64, 0},
        {8191 - 127 * 127, 127, 127, 127}, {-127 * 127 - 1, 127, 127, 0}, {64 - 127 * 127, 127, 127, 1},
    };
    for (int o = 0; o < L1_SIZE; o++) {
        for (const Case &c : cases) {
            clearLayers();
            std::memset(acc, 0, sizeof acc);
            const int q = (5 * o + 1) % 32;
            network.l1_biases[o] = c.bias;
            network.l1_weights[o * L1_INPUTS + 5] = c.weight;
            acc[accRow(BLACK)][5] = c.input;
            routeThrough(o, q);
            EXPECT_EQ(nnueForwardReference(acc, BLACK), expectedFromHidden(c.hidden)) << "bias " << c.bias;
            EXPECT_EQ(vectorPass(acc, BLACK), expectedFromHidden(c.hidden)) << "bias " << c.bias;
        }
    }
}

TEST(EvalForward, SecondLayerClampsAndShifts) {
    NetworkSnapshot snapshot;
    const i32 sums[] = {8191, 8192, -1, 0, 64, 63, 6400, INT_MIN, INT_MAX};
    for (int q = 0; q < L2_SIZE; q++) {
        for (i32 s : sums) {
            clearLayers();
            std::memset(acc, 0, sizeof acc);
            network.l2_biases[q] = s;
            network.out_weights[q] = 127;
            EXPECT_EQ(vectorPass(acc, WHITE), expectedFromHidden(activate(s))) << "sum " << s;
            EXPECT_EQ(nnueForwardReference(acc, WHITE), expectedFromHidden(activate(s))) << "sum " << s;
        }
    }
}

TEST(EvalForward, OutputScaleTruncatesTowardZero) {
    NetworkSnapshot snapshot;
    const struct {
        i32 output;
        int centipawns;
    } cases[] = {{0, 0}, {33, 0}, {34, 1}, {-33, 0}, {-34, -1}, {3327, 99}, {3328, 100}, {-3328, -100},
                 {-3327, -99}, {332800, 10000}, {-332800, -10000}};
    std::memset(acc, 0, sizeof acc);
    for (const auto &c : cases) {
        clearLayers();
        network.out_bias = c.output;
        EXPECT_EQ(nnueForwardReference(acc, WHITE), c.centipawns) << "output " << c.output;
        EXPECT_EQ(vectorPass(acc, WHITE), c.centipawns) << "output " << c.output;
        EXPECT_EQ(vectorPass(acc, BLACK), c.centipawns) << "output " << c.output;
    }
    // The output sum itself: hidden2 of 127 everywhere times the weights.
    clearLayers();
    for (int q = 0; q < L2_SIZE; q++) {
        network.l2_biases[q] = 127 * 64;
        network.out_weights[q] = (i8)(q % 2 ? -128 : 127);
    }
    network.out_bias = 1000;
    EXPECT_EQ(vectorPass(acc, WHITE), (1000 + 16 * 127 * 127 - 16 * 127 * 128) * 100 / 3328);
}

TEST(EvalForward, SideToMoveRowComesFirst) {
    NetworkSnapshot snapshot;
    clearLayers();
    std::memset(acc, 0, sizeof acc);
    // Output 0 of layer 1 sees only input 0 (first row, first entry).
    network.l1_weights[0] = 64;
    routeThrough(0, 0);
    acc[accRow(WHITE)][0] = 90;
    acc[accRow(BLACK)][0] = 20;
    EXPECT_EQ(vectorPass(acc, WHITE), expectedFromHidden(90));
    EXPECT_EQ(vectorPass(acc, BLACK), expectedFromHidden(20));
}

}  // namespace
