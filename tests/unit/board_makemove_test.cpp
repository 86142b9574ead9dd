// Making and taking back moves: keys, castling rights, clocks, passed pawns,
// the record left alone, and the null move.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board_helpers.h"

using namespace board_test;

namespace {

// Plays a move given in UCI text; fails the test when it is not legal.
void play(const char *text) {
    Move m = findMove(text);
    ASSERT_NE(m, 0u) << text << " in " << currentFen();
    makeMove(m);
}

u64 passedFromScratch(int colour) {
    u64 own = curr_ply->side[colour].pieces[PAWN], enemy = curr_ply->side[colour ^ 1].pieces[PAWN], passed = 0;
    for (u64 b = own; b;) {
        int sq = popLsb(b);
        if (!(passed_span[colour][sq] & enemy)) passed |= bit(sq);
    }
    return passed;
}

TEST(BoardMakeMove, StartAndE4Keys) {
    ASSERT_TRUE(load(START_FEN));
    EXPECT_EQ(curr_ply->key, 0x463b96181691fc9cULL);
    play("e2e4");
    // The book key 0x823c9b50fd114196 plus the en passant key of file e,
    // although no black pawn can capture.
    EXPECT_EQ(curr_ply->key, 0x4d0dde8ef7cc031fULL);
    EXPECT_EQ(curr_ply->key, 0x823c9b50fd114196ULL ^ KEY_TABLE[KEY_EP_FILE + 4]);
    EXPECT_EQ(curr_ply->ep, bit(E3));
    play("g8f6");
    EXPECT_EQ(curr_ply->ep, 0u);
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));
    EXPECT_EQ(ply_count, 2);
    EXPECT_EQ(curr_ply->rank_flip, 0);
    EXPECT_EQ(plies[1].rank_flip, 0xe38);
}

TEST(BoardMakeMove, CastlingRightsClocksAndPawnEnding) {
    // A capture on h8 removes black's king-side right only.
    ASSERT_TRUE(load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 7 20"));
    play("h1h8");
    EXPECT_EQ(curr_ply->castling, bit(A1) | bit(E1) | bit(A8) | bit(E8));
    EXPECT_EQ(currentFen(), "r3k2R/8/8/8/8/8/8/R3K3 b Qq - 0 1");
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));
    EXPECT_EQ(curr_ply->halfmove, 0);

    // Castling moves the rook, counts up the clock and drops both rights.
    ASSERT_TRUE(load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 7 20"));
    play("e1g1");
    EXPECT_EQ(curr_ply->side[WHITE].pieces[ROOK], bit(A1) | bit(F1));
    EXPECT_EQ(curr_ply->side[WHITE].king_sq, G1);
    // e1 and g1 leave the set, and with e1 both white rights.
    EXPECT_EQ(curr_ply->castling, bit(A1) | bit(H1) | bit(A8) | bit(E8) | bit(H8));
    EXPECT_EQ(curr_ply->halfmove, 8);
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));
    play("e8c8");
    EXPECT_EQ(curr_ply->side[BLACK].pieces[ROOK], bit(D8) | bit(H8));
    EXPECT_EQ(curr_ply->castling, bit(A1) | bit(H1) | bit(A8) | bit(H8));
    EXPECT_EQ(currentFen(), "2kr3r/8/8/8/8/8/8/R4RK1 w - - 9 2");
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));

    // A pawn move resets the clock.
    ASSERT_TRUE(load("4k3/4p3/8/8/8/8/8/4K3 b - - 12 40"));
    play("e7e6");
    EXPECT_EQ(curr_ply->halfmove, 0);

    // pawn_ending turns on when either side is down to king and pawns,
    // whatever the other side has.
    ASSERT_TRUE(load("3rk3/8/8/8/8/8/3P4/3RK3 b - - 0 1"));
    EXPECT_EQ(curr_ply->pawn_ending, 0);
    play("d8d2");
    EXPECT_EQ(curr_ply->pawn_ending, 0);
    play("d1d2");
    EXPECT_EQ(curr_ply->pawn_ending, 1);
    ASSERT_TRUE(load("3rk3/8/8/8/8/8/8/3RK3 b - - 0 1"));
    play("d8d1");
    EXPECT_EQ(curr_ply->pawn_ending, 1);

    // Promotion with capture, and passed pawns after pawn captures.
    ASSERT_TRUE(load("1n2k3/P7/8/8/8/2p5/1P6/4K3 w - - 0 1"));
    EXPECT_EQ(curr_ply->side[WHITE].passed, bit(A7));
    EXPECT_EQ(curr_ply->side[BLACK].passed, 0u);
    play("b2c3");
    EXPECT_EQ(curr_ply->side[WHITE].passed, bit(A7) | bit(C3));
    play("e8d7");
    play("a7b8n");
    EXPECT_EQ(curr_ply->side[WHITE].pieces[KNIGHT], bit(B8));
    EXPECT_EQ(curr_ply->side[WHITE].pieces[PAWN], bit(C3));
    EXPECT_EQ(curr_ply->side[BLACK].pieces[0], bit(D7));
    EXPECT_EQ(curr_ply->pawn_ending, 1);
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));
}

// Random games from positions rich in special moves: after every move the
// key (as keyAfter foresaw it) equals the key computed from scratch, the derived fields
// are right and the network's sums are left to be computed; after undoing,
// the record (its sums included) and the counter are exactly as before.
TEST(BoardMakeMove, RandomGames) {
    const char *starts[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "2r3k1/1P3pp1/8/3pP3/8/8/1p3PPP/R3K2R w KQ d6 0 1",
    };
    std::mt19937 rng(7);
    for (int game = 0; game < 200; game++) {
        ASSERT_TRUE(load(starts[game % 4]));
        for (int ply = 0; ply < 150; ply++) {
            std::vector<Move> moves = legalMoves();
            if (moves.empty()) break;
            Move m = moves[rng() % moves.size()];

            // Made-up sums, marked ready, in the record left.
            for (int i = 0; i < ACC_SIZE; i++) {
                curr_ply->accumulator[0][i] = (i32)(rng() & 0xffff);
                curr_ply->accumulator[1][i] = (i32)(rng() & 0xffff);
            }
            curr_ply->accumulator_ready = (i32)(rng() & 1);
            Ply before;
            std::memcpy(&before, curr_ply, sizeof before);
            int count = ply_count;
            // A stale flag in the record about to be written.
            plies[count + 1].accumulator_ready = 1;

            const u64 predicted = keyAfter(m);
            makeMove(m);
            ASSERT_EQ(curr_ply->key, computeKey(curr_ply)) << uci(m) << " from " << currentFen();
            ASSERT_EQ(curr_ply->key, predicted) << uci(m);
            ASSERT_EQ(curr_ply->occupancy, curr_ply->side[WHITE].pieces[0] | curr_ply->side[BLACK].pieces[0]);
            for (int c = BLACK; c <= WHITE; c++) {
                u64 all = 0;
                for (int t = PAWN; t <= KING; t++) all |= curr_ply->side[c].pieces[t];
                ASSERT_EQ(curr_ply->side[c].pieces[0], all);
                ASSERT_EQ(curr_ply->side[c].pieces[KING], bit(curr_ply->side[c].king_sq));
                ASSERT_EQ(curr_ply->side[c].passed, passedFromScratch(c));
                ASSERT_EQ(curr_ply->side[c].attacks, curr_ply->attack[c]);
            }
            ASSERT_EQ(curr_ply->accumulator_ready, 0) << uci(m);
            undoMove();
            ASSERT_EQ(ply_count, count);
            // Everything but the move played from the record is as before.
            ASSERT_EQ(std::memcmp(curr_ply, &before, offsetof(Ply, move)), 0) << uci(m);
            ASSERT_EQ(std::memcmp(&curr_ply->generated, &before.generated, sizeof(Ply) - offsetof(Ply, generated)),
                      0)
                << uci(m);
            ASSERT_EQ(curr_ply->move, m);

            makeMove(m);
        }
    }
}

TEST(BoardMakeMove, NullMove) {
    ASSERT_TRUE(load(START_FEN));
    play("e2e4");
    u64 key = curr_ply->key;
    Ply before;
    std::memcpy(&before, curr_ply, sizeof before);
    plies[2].accumulator_ready = 1;
    makeNullMove();
    EXPECT_EQ(ply_count, 2);
    EXPECT_EQ(plies[1].move, 0u);
    EXPECT_EQ(curr_ply->ep, 0u);
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));
    EXPECT_EQ(curr_ply->key, key ^ KEY_TABLE[KEY_WHITE_TO_MOVE] ^ KEY_TABLE[KEY_EP_FILE + 4]);
    EXPECT_EQ(curr_ply->us, &curr_ply->side[WHITE]);
    EXPECT_EQ(curr_ply->halfmove, 1);
    EXPECT_EQ(curr_ply->rank_flip, 0);
    EXPECT_EQ(curr_ply->occupancy, plies[1].occupancy);
    EXPECT_EQ(curr_ply->side[WHITE].attacks, curr_ply->attack[WHITE]);
    // The sums are those of the record before (the evaluation takes them from there).
    EXPECT_EQ(curr_ply->accumulator_ready, 0);
    EXPECT_EQ(legalMoves().size(), 30u);  // white moves again
    undoNullMove();
    EXPECT_EQ(ply_count, 1);
    EXPECT_EQ(curr_ply->key, key);
    EXPECT_EQ(std::memcmp(curr_ply, &before, offsetof(Ply, move)), 0);
    EXPECT_EQ(std::memcmp(&curr_ply->generated, &before.generated, sizeof(Ply) - offsetof(Ply, generated)), 0);
}

}  // namespace
