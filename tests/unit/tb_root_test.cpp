// The root answer and the en passant rules of the probes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

static inline uint64_t bit64(int sq) { return 1ULL << sq; }

namespace {

class TbRoot : public ::testing::Test {
protected:
    void SetUp() override { initSyzygy(tbTestDir().c_str()); }
    void TearDown() override { initSyzygy(""); }
};

std::string squareText(int sq) { return std::string(1, (char)('a' + sq % 8)) + (char)('1' + sq / 8); }

TEST_F(TbRoot, ResultWord) {
    struct Case {
        const char *fen;
        uint32_t outcome;
        const char *move;
        int dtz;
    } cases[] = {
        {"k7/8/1K6/8/8/8/8/1Q6 w - - 97 1", TB_RESULT_WIN, "b6c6", 3},
        {"k7/8/1K6/8/8/8/8/1Q6 w - - 98 1", TB_RESULT_CURSED_WIN, "b6c6", 3},
        {"8/8/8/8/8/8/7k/KQ6 b - - 84 1", TB_RESULT_LOSS, "h2g2", 16},
        {"8/8/8/8/8/8/7k/KQ6 b - - 85 1", TB_RESULT_BLESSED_LOSS, "h2g2", 16},
        {"8/8/8/4k3/8/8/P7/K7 w - - 0 1", TB_RESULT_DRAW, nullptr, 0},
    };
    for (const Case &c : cases) {
        TbPosition p = tbFromFen(c.fen);
        uint32_t r = tbProbeRoot(&p);
        EXPECT_EQ(tbResultWdl(r), c.outcome) << c.fen;
        EXPECT_EQ(tbResultDtz(r), c.dtz) << c.fen;
        EXPECT_FALSE(tbResultEnPassant(r));
        if (c.move) {
            EXPECT_EQ(squareText(tbResultFrom(r)) + squareText(tbResultTo(r)), c.move) << c.fen;
        }
    }
    // A drawn position picks the same drawing move every time.
    TbPosition p = tbFromFen(cases[4].fen);
    uint32_t r = tbProbeRoot(&p);
    EXPECT_EQ(tbProbeRoot(&p), r);
    TbPosition next;
    ASSERT_TRUE(tbMakeMove(&next, &p, tbBuildMove(tbResultFrom(r), tbResultTo(r))));
    int success = 0;
    EXPECT_EQ(probeWdl(&next, &success), 0);
}

TEST_F(TbRoot, NoAnswer) {
    const char *cases[] = {
        "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1",     // checkmated
        "k7/8/1Q6/8/8/8/8/2K5 b - - 0 1",     // stalemated
        "k7/8/1K6/8/8/8/8/Q7 w - - 0 1",      // the side not to move is in check
        "k7/8/1K6/8/8/8/8/QQQQQQQQ w - - 0 1", // no such table
        "8/8/8/8/8/8/8/KQ6 w - - 0 1",        // one king
        "kK6/8/8/8/8/8/8/Q7 w - - 0 1",       // kings side by side
        "k7/8/1K6/8/8/8/8/1P6 w - - 0 1",     // pawn on the first rank
        "k7/8/1K6/8/8/8/8/1Q6 w - e6 0 1",    // en passant square without a pawn
    };
    const uint32_t expected[] = {TB_RESULT_CHECKMATE, TB_RESULT_STALEMATE, TB_RESULT_FAILED, TB_RESULT_FAILED,
                                 TB_RESULT_FAILED,    TB_RESULT_FAILED,    TB_RESULT_FAILED, TB_RESULT_FAILED};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        TbPosition p = tbFromFen(cases[i]);
        uint32_t r = tbProbeRoot(&p);
        EXPECT_EQ(r, expected[i]) << cases[i];
        EXPECT_GT(tbResultWdl(r), TB_RESULT_WIN) << cases[i];
    }
}

// Among winning moves the one with the smallest DTZ, first generated on a
// tie; a pawn move that keeps the win zeroes at once (DTZ 1).
TEST_F(TbRoot, WinnerTakesTheQuickestZeroing) {
    std::mt19937_64 rng(5);
    const char *fens[] = {"8/8/8/4k3/8/8/8/KQ6 w - - 0 1", "8/8/1k6/8/8/8/4K3/R7 w - - 0 1",
                          "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", "8/8/4k3/8/8/2K5/1Q6/7r w - - 0 1"};
    for (const char *fen : fens) {
        TbPosition p = tbFromFen(fen);
        int dtz = 0;
        TbMove best = probeRoot(&p, &dtz);
        ASSERT_GT(dtz, 0) << fen;
        TbMove moves[TB_MAX_MOVES];
        TbMove *end = tbGenerateMoves(&p, moves);
        int best_cost = 1 << 20;
        TbMove first = 0;
        for (TbMove *m = moves; m < end; m++) {
            TbPosition next;
            if (!tbMakeMove(&next, &p, *m)) continue;
            int success = 0, cost;
            if (tbIsMate(&next)) {
                cost = 1;
            } else if (next.halfmove == 0) {
                cost = probeWdl(&next, &success) == -2 ? 1 : 1 << 20;
            } else {
                int d = probeDtz(&next, &success);
                cost = d < 0 ? 1 - d : 1 << 20;
            }
            if (cost < best_cost) {
                best_cost = cost;
                first = *m;
            }
        }
        EXPECT_EQ(best, first) << fen;
    }
    TbPosition pawn = tbFromFen("8/8/8/8/8/k7/4P3/4K3 w - - 0 1");
    int success = 0;
    EXPECT_EQ(probeDtz(&pawn, &success), 1);
    EXPECT_EQ(success, 1);
}

// With an en passant right the value is the better of the position without
// it and the capture; when the capture is the only legal move (stalemate
// otherwise) it is the capture's value. Every en passant position of KPvKP,
// white to move (and its colour-mirrored twin).
TEST_F(TbRoot, EnPassantPositionsOfKPvKP) {
    int checked = 0, capture_best = 0;
    for (int wp = 32; wp < 40; wp++)
        for (int df = -1; df <= 1; df += 2) {
            int bp = wp + df;
            if (bp < 32 || bp >= 40) continue;
            int ep = bp + 8;
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++) {
                    uint64_t all = bit64(wk) | bit64(bk) | bit64(wp) | bit64(bp);
                    if (__builtin_popcountll(all) != 4 || (all & (bit64(ep) | bit64(ep + 8)))) continue;
                    TbPosition p = {};
                    p.white = bit64(wk) | bit64(wp);
                    p.black = bit64(bk) | bit64(bp);
                    p.kings = bit64(wk) | bit64(bk);
                    p.pawns = bit64(wp) | bit64(bp);
                    p.turn = 1;
                    if (!tbIsLegal(&p)) continue;
                    TbPosition with_ep = p;
                    with_ep.ep = (uint8_t)ep;
                    TbPosition after;
                    TbMove capture = tbBuildMove(wp, ep);
                    if (!tbMakeMove(&after, &with_ep, capture)) continue;
                    int s1 = 0, s2 = 0, s3 = 0;
                    int v_ep = probeWdl(&with_ep, &s1);
                    int v_plain = probeWdl(&p, &s2);
                    int v_capture = -probeWdl(&after, &s3);
                    ASSERT_TRUE(s1 && s2 && s3) << tbToFen(with_ep);
                    bool other_move = false;
                    TbMove list[TB_MAX_MOVES];
                    TbMove *end = tbGenerateMoves(&p, list);
                    for (TbMove *m = list; m < end && !other_move; m++) {
                        TbPosition next;
                        other_move = tbMakeMove(&next, &p, *m);
                    }
                    int expected = other_move ? std::max(v_plain, v_capture) : v_capture;
                    EXPECT_EQ(v_ep, expected) << tbToFen(with_ep);
                    if (v_capture > v_plain) {
                        EXPECT_EQ(s1, 2) << tbToFen(with_ep);
                        capture_best++;
                    }
                    // Seen from the other colour.
                    TbPosition q = with_ep;
                    q.white = __builtin_bswap64(with_ep.black);
                    q.black = __builtin_bswap64(with_ep.white);
                    q.kings = __builtin_bswap64(with_ep.kings);
                    q.pawns = __builtin_bswap64(with_ep.pawns);
                    q.turn = 0;
                    q.ep = (uint8_t)(ep ^ 56);
                    int s4 = 0;
                    EXPECT_EQ(probeWdl(&q, &s4), v_ep) << tbToFen(q);
                    checked++;
                }
        }
    EXPECT_GT(checked, 10000);
    EXPECT_GT(capture_best, 0);
}

}  // namespace
