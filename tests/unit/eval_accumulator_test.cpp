// Accumulator arithmetic on hand-built records: the refresh (through the
// refresh cache) against a direct sum over the features, the incremental
// step against the direct sum, and the feature numbering itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <random>

#include "eval/accumulator.h"
#include "eval/network.h"
#include "unit/eval_support.h"

namespace {

// Feature row written out from its definition: orientation o(P, s) = s for
// white and s XOR 63 for black, kind k = type - 1, r = 0 for P's own piece.
int feature(int p, int king, int type, bool own, int sq) {
    auto o = [p](int s) { return p == WHITE ? s : 63 - s; };
    return 641 * o(king) + 1 + 64 * (2 * (type - 1) + (own ? 0 : 1)) + o(sq);
}

// randomTransformer from a seed, with the width of the sums checked.
void seededTransformer(u64 seed, bool fits16) {
    std::mt19937_64 rng(seed);
    randomTransformer(rng, fits16);
    ASSERT_EQ(narrow_sums, fits16);
}

// A record's sums as 32-bit values.
Sums rowsOf(const Ply &ply) {
    Sums s;
    accumulatorRows(&ply, s.rows);
    return s;
}

// The tests that sum rows run with sums in 32 bits and with sums that fit in
// 16 bits (kept in 16 bits where the build can).
class EvalAccumulatorWidths : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(SumWidths, EvalAccumulatorWidths, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Fits16Bits" : "Needs32Bits");
                         });

struct Board {
    Ply ply;
    int piece[64];  // 0 empty, else colour * 8 + type
};

void place(Board &b, int colour, int type, int sq) {
    b.ply.side[colour].pieces[type] |= bit(sq);
    b.ply.side[colour].pieces[0] |= bit(sq);
    if (type == KING) b.ply.side[colour].king_sq = sq;
    b.piece[sq] = colour * 8 + type;
}

void lift(Board &b, int sq) {
    int colour = b.piece[sq] / 8, type = b.piece[sq] % 8;
    b.ply.side[colour].pieces[type] &= ~bit(sq);
    b.ply.side[colour].pieces[0] &= ~bit(sq);
    b.piece[sq] = 0;
}

// Two kings and `count` other pieces on random squares (pawns off the back ranks).
Board randomBoard(std::mt19937_64 &rng, int count) {
    Board b;
    std::memset(&b, 0, sizeof b);
    auto freeSquare = [&](bool pawn) {
        for (;;) {
            int sq = uniform<int>(rng, pawn ? 8 : 0, pawn ? 55 : 63);
            if (!b.piece[sq]) return sq;
        }
    };
    place(b, WHITE, KING, freeSquare(false));
    place(b, BLACK, KING, freeSquare(false));
    for (int i = 0; i < count; i++) {
        int type = uniform<int>(rng, PAWN, QUEEN);
        place(b, uniform<int>(rng, BLACK, WHITE), type, freeSquare(type == PAWN));
    }
    return b;
}

// accumulator row of perspective p summed directly from the definition.
void directSum(const Board &b, int p, i32 *row) {
    for (int i = 0; i < ACC_SIZE; i++) row[i] = network.ft_biases[i];
    for (int sq = 0; sq < 64; sq++) {
        int colour = b.piece[sq] / 8, type = b.piece[sq] % 8;
        if (!b.piece[sq] || type == KING) continue;
        const i16 *w = &network.ft_weights[feature(p, b.ply.side[p].king_sq, type, colour == p, sq) * ACC_SIZE];
        for (int i = 0; i < ACC_SIZE; i++) row[i] += w[i];
    }
}

TEST(EvalAccumulator, FeatureIndexRotatesForBlack) {
    // A black pawn on e7 (52) seen from black is square 11 (d2), with the black
    // king on e8 (60) seen as 3 (d1).
    EXPECT_EQ(featureIndex(BLACK, E8, 0, 0, E7), 641 * 3 + 1 + 0 + 11);
    // The same pawn seen from white with the white king on e1: enemy pawn.
    EXPECT_EQ(featureIndex(WHITE, E1, 0, 1, E7), 641 * 4 + 1 + 64 + 52);
    // Extremes: the lowest and highest rows used.
    EXPECT_EQ(featureIndex(WHITE, A1, 0, 0, A1), 1);
    EXPECT_EQ(featureIndex(BLACK, A1, 4, 1, A1), 41023);
    for (int p : {BLACK, WHITE})
        for (int k = 0; k < 64; k++)
            for (int type = PAWN; type <= QUEEN; type++)
                for (int sq = 0; sq < 64; sq += 9)
                    ASSERT_EQ(featureIndex(p, k, type - 1, 1, sq), feature(p, k, type, false, sq));
}

// 16-bit sums are used exactly when no board can take a sum out of the int16
// range: the largest bias plus 62 pieces' worth of the largest weight, in
// magnitude, at most 32767.
TEST(EvalAccumulator, SumsAreNarrowExactlyWhenEveryBoardFits) {
    NetworkSnapshot snapshot;
    const struct {
        int bias, weight;
        bool fits;
    } cases[] = {
        {341, 523, true},    // 341 + 62 * 523 = 32767
        {342, 523, false},   // one more
        {-341, -523, true},  // the same in magnitude
        {-342, 523, false},
        {0, 528, true},      // 32736
        {0, 529, false},     // 32798
        {32767, 0, true},    // no weights: the biases alone
    };
    for (const auto &c : cases) {
        std::memset(network.ft_biases, 0, sizeof network.ft_biases);
        std::memset(network.ft_weights, 0, sizeof network.ft_weights);
        network.ft_biases[37] = (i16)c.bias;
        network.ft_weights[1000 * ACC_SIZE + 5] = (i16)c.weight;
        prepareNetwork();
        EXPECT_EQ(sumsFitIn16Bits(), c.fits) << c.bias << " " << c.weight;
        EXPECT_EQ(narrow_sums, c.fits) << c.bias << " " << c.weight;
    }
}

TEST_P(EvalAccumulatorWidths, RefreshEqualsDirectSum) {
    NetworkSnapshot snapshot;
    seededTransformer(77, GetParam());
    std::mt19937_64 rng(5);
    alignas(64) i32 want[ACC_SIZE];
    for (int n = 0; n < 200; n++) {
        Board b = randomBoard(rng, n % 31);
        refreshAccumulator(&b.ply);
        ASSERT_EQ(b.ply.accumulator_ready, 1);
        for (int p : {WHITE, BLACK}) {
            directSum(b, p, want);
            ASSERT_EQ(0, std::memcmp(rowsOf(b.ply).rows[accRow(p)], want, sizeof want))
                << "board " << n << ", perspective " << p;
        }
    }
}

TEST_P(EvalAccumulatorWidths, BareKingsGiveTheBiases) {
    NetworkSnapshot snapshot;
    seededTransformer(3, GetParam());
    Board b;
    std::memset(&b, 0, sizeof b);
    place(b, WHITE, KING, G1);
    place(b, BLACK, KING, B8);
    refreshAccumulator(&b.ply);
    for (int p : {WHITE, BLACK})
        for (int i = 0; i < ACC_SIZE; i++) ASSERT_EQ(rowsOf(b.ply).rows[accRow(p)][i], network.ft_biases[i]);
}

// The refresh cache keeps one row per perspective and king square and
// brings it to a new board by the pieces that differ: kings walking over a
// few squares while pieces come and go, each refresh against the direct sum.
TEST_P(EvalAccumulatorWidths, RefreshCacheFollowsKingWalks) {
    NetworkSnapshot snapshot;
    seededTransformer(5, GetParam());
    std::mt19937_64 rng(17);
    Board b = randomBoard(rng, 20);
    alignas(64) i32 want[ACC_SIZE];
    for (int n = 0; n < 3000; n++) {
        // A king steps to one of four squares of its own, or a piece comes or goes.
        const int colour = uniform<int>(rng, BLACK, WHITE);
        if (n % 3 == 0) {
            const int sq = (colour == WHITE ? C1 : C8) + uniform<int>(rng, 0, 3);
            if (!b.piece[sq]) {
                lift(b, b.ply.side[colour].king_sq);
                place(b, colour, KING, sq);
            }
        } else {
            const int sq = uniform<int>(rng, 8, 55);
            if (!b.piece[sq]) place(b, colour, uniform<int>(rng, PAWN, QUEEN), sq);
            else if (b.piece[sq] % 8 != KING) lift(b, sq);
        }
        refreshAccumulator(&b.ply);
        for (int p : {WHITE, BLACK}) {
            directSum(b, p, want);
            ASSERT_EQ(0, std::memcmp(rowsOf(b.ply).rows[accRow(p)], want, sizeof want))
                << "step " << n << ", perspective " << p;
        }
    }
}

// Rows kept in the refresh cache belong to the parameters they were summed
// with: after new parameters (and prepareNetwork) the same board sums anew.
TEST(EvalAccumulator, NewParametersForgetTheCachedRows) {
    NetworkSnapshot snapshot;
    std::mt19937_64 rng(8);
    Board b = randomBoard(rng, 24);
    alignas(64) i32 want[ACC_SIZE];
    for (u64 seed : {31, 32, 31}) {
        seededTransformer(seed, false);
        refreshAccumulator(&b.ply);
        for (int p : {WHITE, BLACK}) {
            directSum(b, p, want);
            ASSERT_EQ(0, std::memcmp(rowsOf(b.ply).rows[accRow(p)], want, sizeof want)) << "seed " << seed;
        }
    }
}

// An ordinary move (any non-king piece, quiet or capturing a non-king piece)
// applied to a hand-built record: the incremental step must land on the
// refresh of the new record.
TEST_P(EvalAccumulatorWidths, IncrementalStepEqualsRefresh) {
    NetworkSnapshot snapshot;
    seededTransformer(11, GetParam());
    std::mt19937_64 rng(99);
    int captures = 0;
    for (int n = 0; n < 2000; n++) {
        Board before = randomBoard(rng, 2 + n % 29);
        refreshAccumulator(&before.ply);
        Board b = before;
        int from, to;
        do from = uniform<int>(rng, 0, 63);
        while (!b.piece[from] || b.piece[from] % 8 == KING);
        const int mover = b.piece[from] / 8, type = b.piece[from] % 8;
        do to = uniform<int>(rng, 0, 63);
        while (to == from || (b.piece[to] && (b.piece[to] / 8 == mover || b.piece[to] % 8 == KING)));
        const int captured = b.piece[to] ? b.piece[to] % 8 : 0;
        captures += captured != 0;
        if (captured) lift(b, to);
        lift(b, from);
        place(b, mover, type, to);
        b.ply.accumulator_ready = 0;
        updateAccumulator(&before.ply, &b.ply, buildMove(from, to, type, captured), mover);
        ASSERT_EQ(b.ply.accumulator_ready, 1);
        alignas(64) i32 want[ACC_SIZE];
        for (int p : {WHITE, BLACK}) {
            directSum(b, p, want);
            ASSERT_EQ(0, std::memcmp(rowsOf(b.ply).rows[accRow(p)], want, sizeof want))
                << "move " << from << "-" << to << " of type " << type << " capturing " << captured;
        }
    }
    EXPECT_GT(captures, 200);
}

TEST_P(EvalAccumulatorWidths, PawnTakesQueenChangesThreeRowsPerPerspective) {
    NetworkSnapshot snapshot;
    seededTransformer(21, GetParam());
    Board b;
    std::memset(&b, 0, sizeof b);
    place(b, WHITE, KING, E1);
    place(b, BLACK, KING, E8);
    place(b, WHITE, PAWN, D4);
    place(b, BLACK, QUEEN, E5);
    refreshAccumulator(&b.ply);
    const Board start = b;
    const Sums before = rowsOf(start.ply);
    lift(b, E5);
    lift(b, D4);
    place(b, WHITE, PAWN, E5);
    updateAccumulator(&start.ply, &b.ply, buildMove(D4, E5, PAWN, QUEEN), WHITE);
    const Sums after = rowsOf(b.ply);
    for (int p : {WHITE, BLACK}) {
        const int king = p == WHITE ? E1 : E8;
        const i16 *add = &network.ft_weights[feature(p, king, PAWN, p == WHITE, E5) * ACC_SIZE];
        const i16 *sub = &network.ft_weights[feature(p, king, PAWN, p == WHITE, D4) * ACC_SIZE];
        const i16 *cap = &network.ft_weights[feature(p, king, QUEEN, p == BLACK, E5) * ACC_SIZE];
        for (int i = 0; i < ACC_SIZE; i++)
            ASSERT_EQ(after.rows[accRow(p)][i], before.rows[accRow(p)][i] + add[i] - sub[i] - cap[i]) << i;
    }
}

}  // namespace
