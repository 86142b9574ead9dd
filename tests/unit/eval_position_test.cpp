// Evaluation of real positions: the published values of the real network,
// the guards of evaluate, and the accumulator kept by making and taking back
// moves in random games and perft trees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/accumulator.h"
#include "eval/evaluate.h"
#include "eval/forward.h"
#include "eval/network.h"
#include "support/engine_fixture.h"
#include "unit/eval_support.h"

namespace {

#define REQUIRE_NETWORK()                                                                          \
    if (!networkLoadedForTests())                                                                  \
    FAIL() << "the network file " << NNUE_FILE << " is missing from the working directory; run " \
              "scripts/fetch-network.sh <build dir>"

void setUp(const char *fen) {
    ASSERT_TRUE(loadFen(fen)) << fen;
    updateAttacks();
    generateMoves(GEN_ALL);
}

int sideToMove() { return curr_ply->us->info->colour; }

struct Sample {
    std::string fen;
    int evaluation, network;
};

std::vector<Sample> publicSamples() {
    std::vector<Sample> samples;
    std::ifstream in(testDataPath("eval_public.txt"));
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find(';'), b = line.find(';', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        samples.push_back({line.substr(0, a), std::stoi(line.substr(a + 1, b - a - 1)), std::stoi(line.substr(b + 1))});
    }
    return samples;
}

TEST(EvalPosition, PublicValuesOfTheRealNetwork) {
    REQUIRE_NETWORK();
    // The real network keeps its sums in 16 bits.
    EXPECT_TRUE(narrow_sums);
    auto samples = publicSamples();
    ASSERT_EQ(samples.size(), 24u);
    for (const Sample &s : samples) {
        setUp(s.fen.c_str());
        EXPECT_EQ(evaluate(), s.evaluation) << s.fen;
        EXPECT_EQ(nnueForward(), s.network) << s.fen;
        EXPECT_EQ(nnueForwardReference(currentSums().rows, sideToMove()), s.network) << s.fen;
    }
}

TEST(EvalPosition, Guards) {
    REQUIRE_NETWORK();
    const struct {
        const char *fen;
        bool guarded;
    } cases[] = {
        {"8/8/8/4k3/8/8/8/4K3 w - - 0 1", true},        // bare kings
        {"8/8/8/4k3/8/8/8/4K3 b - - 0 1", true},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", true},       // bare king, no square to go to
        {"k7/2Q5/1K6/8/8/8/8/8 b - - 0 1", true},
        {"7k/8/6K1/8/8/8/8/2Q5 b - - 0 1", false},      // bare king with a free square
        {"7k/5Q2/6K1/8/8/8/8/8 w - - 0 1", false},      // the side with material to move
        {"7k/5Q2/6KP/8/8/8/8/8 b - - 0 1", true},
        {"7k/5Q2/6K1/8/8/8/p7/8 b - - 0 1", false},     // not bare: a pawn elsewhere
        {"8/8/8/4k3/8/8/8/3NK3 w - - 0 1", false},      // three pieces
    };
    for (const auto &c : cases) {
        setUp(c.fen);
        const int network = nnueForward();
        EXPECT_EQ(evaluate(), c.guarded ? 0 : network) << c.fen;
        // The guard finds the attacked squares itself: the same answer
        // before updateAttacks has run on the record.
        ASSERT_TRUE(loadFen(c.fen));
        EXPECT_EQ(evaluate(), c.guarded ? 0 : network) << c.fen << ", without updateAttacks";
    }
}

TEST(EvalPosition, SwappingTheSideToMoveSwapsTheRows) {
    REQUIRE_NETWORK();
    setUp("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 9");
    alignas(64) i32 white_to_move[2][ACC_SIZE];
    std::memcpy(white_to_move, currentSums().rows, sizeof white_to_move);
    const int white = nnueForward();
    setUp("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R b KQ - 0 9");
    EXPECT_EQ(0, std::memcmp(white_to_move, currentSums().rows, sizeof white_to_move));
    EXPECT_EQ(nnueForward(), nnueForwardReference(currentSums().rows, BLACK));
    EXPECT_EQ(white, nnueForwardReference(currentSums().rows, WHITE));
}

// ---------------------------------------------------------------------------
// The accumulator along random games.
// ---------------------------------------------------------------------------

// Kinds of moves that go through the full refresh, and the others.
enum { QUIET, CAPTURE, CASTLE_SHORT, CASTLE_LONG, PROMOTION, PROMOTION_CAPTURE, EN_PASSANT, KING_CAPTURE, KINDS };

int kindOf(Move m) {
    const int type = movePiece(m), from = moveFrom(m), to = moveTo(m);
    if (type == KING && to == from + 2) return CASTLE_SHORT;
    if (type == KING && to == from - 2) return CASTLE_LONG;
    if (movePromotion(m)) return moveCaptured(m) ? PROMOTION_CAPTURE : PROMOTION;
    if (type == PAWN && curr_ply->ep && (bit(to) & curr_ply->ep)) return EN_PASSANT;
    if (type == KING && moveCaptured(m)) return KING_CAPTURE;
    return moveCaptured(m) ? CAPTURE : QUIET;
}

// The sums of curr_ply as the evaluation finds them, against the definition.
bool equalsRefresh() {
    alignas(64) i32 want[2][ACC_SIZE];
    definitionRows(curr_ply, want);
    return std::memcmp(want, currentSums().rows, sizeof want) == 0;
}

// Start positions rich in castling, promotions and en passant.
const char *const GAME_STARTS[] = {
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r1bqkbnr/pPpppppp/8/8/8/8/P1PPPPPP/RNBQKBNR w KQkq - 0 1",
    "4k3/8/8/8/8/8/8/4K3 w - - 0 1",
};

TEST(EvalPosition, AccumulatorAlongRandomGames) {
    NetworkSnapshot snapshot;
    std::mt19937_64 rng(42);
    int seen[KINDS] = {};
    for (int game = 0; game < 140; game++) {
        // Half the games with sums in 32 bits, half with sums that fit in 16.
        if (game % 70 == 0) {
            randomTransformer(rng, game >= 70);
            ASSERT_EQ(narrow_sums, game >= 70);
        }
        setUp(GAME_STARTS[game % (sizeof GAME_STARTS / sizeof GAME_STARTS[0])]);
        ASSERT_TRUE(equalsRefresh());
        for (int ply = 0; ply < 120 && curr_ply->generated > 0; ply++) {
            // Prefer the moves that take the refresh path, so all of them occur.
            Move move = curr_ply->moves[rng() % curr_ply->generated];
            for (int i = 0; i < curr_ply->generated; i++)
                if (kindOf(curr_ply->moves[i]) >= CASTLE_SHORT && rng() % 3 == 0) move = curr_ply->moves[i];
            const int kind = kindOf(move);
            seen[kind]++;

            // Most positions are evaluated, the others leave their sums to
            // be computed from further below, several moves at a time.
            const bool evaluated = rng() % 3 != 0;
            alignas(64) i32 before[2][ACC_SIZE];
            if (evaluated) std::memcpy(before, currentSums().rows, sizeof before);
            makeMove(move);
            if (evaluated) {
                ASSERT_TRUE(equalsRefresh()) << "game " << game << ", ply " << ply << ", move kind " << kind;
                undoMove();
                ASSERT_EQ(0, std::memcmp(before, currentSums().rows, sizeof before)) << "undo, move kind " << kind;
                makeMove(move);
            }
            updateAttacks();
            generateMoves(GEN_ALL);
        }
        ASSERT_TRUE(equalsRefresh()) << "end of game " << game;
    }
    for (int kind = 0; kind < KINDS; kind++) EXPECT_GT(seen[kind], 0) << "no move of kind " << kind << " was played";
}

// A null move changes no piece: the record it leads to has the sums of the
// record before, and the moves after it continue from those, whether or not
// the records on the way were evaluated.
TEST(EvalPosition, AccumulatorThroughNullMoves) {
    NetworkSnapshot snapshot;
    std::mt19937_64 rng(9);
    // A move of the side to move: a king move or another.
    auto pick = [](bool king) {
        updateAttacks();
        generateMoves(GEN_ALL);
        Move move = curr_ply->moves[0];
        for (int i = 0; i < curr_ply->generated; i++)
            if ((movePiece(curr_ply->moves[i]) == KING) == king) move = curr_ply->moves[i];
        return move;
    };
    const struct {
        bool evaluate_before;  // the record of the null move is evaluated first
        bool king_after;       // the move after the null move is a king move
    } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
    for (bool fits16 : {false, true}) {
        randomTransformer(rng, fits16);
        for (const auto &c : cases) {
            setUp("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
            makeMove(pick(false));
            alignas(64) i32 before[2][ACC_SIZE];
            definitionRows(curr_ply, before);
            if (c.evaluate_before) {
                ASSERT_EQ(0, std::memcmp(before, currentSums().rows, sizeof before));
            }
            makeNullMove();
            if (c.evaluate_before) {
                ASSERT_EQ(0, std::memcmp(before, currentSums().rows, sizeof before));
            }
            makeMove(pick(c.king_after));
            EXPECT_TRUE(equalsRefresh()) << c.evaluate_before << c.king_after;
            undoMove();
            undoNullMove();
            EXPECT_EQ(0, std::memcmp(before, currentSums().rows, sizeof before)) << c.evaluate_before << c.king_after;
        }
    }
}

// ---------------------------------------------------------------------------
// The vector pass against the scalar reference on every position of perft
// trees, with the real network.
// ---------------------------------------------------------------------------

long compareTree(int depth) {
    long checked = 1;
    const int side = sideToMove();
    const int expected = nnueForwardReference(currentSums().rows, side);
    EXPECT_EQ(nnueForward(), expected);
    if (nnueForward() != expected) return checked;
    if (depth == 0) return checked;
    Move moves[MAX_MOVES];
    const int n = curr_ply->generated;
    std::memcpy(moves, curr_ply->moves, sizeof(Move) * (size_t)n);
    for (int i = 0; i < n; i++) {
        makeMove(moves[i]);
        updateAttacks();
        generateMoves(GEN_ALL);
        checked += compareTree(depth - 1);
        undoMove();
        if (::testing::Test::HasFailure()) break;
    }
    return checked;
}

TEST(EvalPosition, VectorPassAgreesOnPerftTrees) {
    REQUIRE_NETWORK();
    const char *const roots[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "8/8/8/4k3/8/8/8/4K3 w - - 0 1",
    };
    long total = 0;
    for (const char *fen : roots) {
        setUp(fen);
        total += compareTree(3);
        ASSERT_FALSE(HasFailure()) << fen;
    }
    // Random games: every position along them.
    std::mt19937_64 rng(7);
    for (int game = 0; game < 40; game++) {
        setUp(GAME_STARTS[game % (sizeof GAME_STARTS / sizeof GAME_STARTS[0])]);
        for (int ply = 0; ply < 150 && curr_ply->generated > 0; ply++) {
            total += compareTree(1);
            ASSERT_FALSE(HasFailure());
            makeMove(curr_ply->moves[rng() % curr_ply->generated]);
            updateAttacks();
            generateMoves(GEN_ALL);
        }
    }
}

}  // namespace
