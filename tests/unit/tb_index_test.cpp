// Indexing tables and the tablebase code's own attack generation.
#include <gtest/gtest.h>

#include <random>

#include "tablebase/tbinternal.h"
#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace {

TEST(TbIndex, ComputedTables) {
    initSyzygy("");
    int codes = 0, max_code = -1;
    for (int c = 0; c < 10; c++)
        for (int s = 0; s < 64; s++)
            if (KK_INDEX[c][s] >= 0) {
                codes++;
                max_code = std::max<int>(max_code, KK_INDEX[c][s]);
            }
    EXPECT_EQ(codes, 462);
    EXPECT_EQ(max_code, 461);
    EXPECT_EQ(KK_INDEX[0][D1_SQ], 0);
    EXPECT_EQ(KK_INDEX[1][A1_SQ], 58);
    EXPECT_EQ(KK_INDEX[6][C1_SQ], 339);
    EXPECT_EQ(KK_INDEX[6][C3_SQ], 441);
    EXPECT_EQ(KK_INDEX[9][63], 461);

    EXPECT_EQ(6 * 63 * 62 + 4 * 28 * 62 + 4 * 7 * 28 + 4 * 7 * 6, 31332);
    for (int f = 0; f < 4; f++) EXPECT_EQ(pawn_factor[0][f], 6u);
    EXPECT_EQ(binomial[0][0], 1u);
    EXPECT_EQ(binomial[2][5], 10u);
    EXPECT_EQ(binomial[3][2], 0u);
    EXPECT_EQ(binomial[6][63], 67945521u);
    // The square of leading-pawn class j has FLAP value j.
    for (int j = 0; j < 24; j++) EXPECT_EQ(FLAP[(1 + j % 6) * 8 + j / 6], j);
}

uint64_t slowRay(int sq, int df, int dr, uint64_t occ) {
    uint64_t r = 0;
    int f = sq % 8 + df, k = sq / 8 + dr;
    while (f >= 0 && f < 8 && k >= 0 && k < 8) {
        r |= 1ULL << (k * 8 + f);
        if (occ & (1ULL << (k * 8 + f))) break;
        f += df;
        k += dr;
    }
    return r;
}

TEST(TbChess, SliderAttacksMatchRayWalks) {
    initSyzygy("");
    std::mt19937_64 rng(3);
    for (int i = 0; i < 20000; i++) {
        uint64_t occ = rng() & rng();
        int sq = (int)(rng() & 63);
        uint64_t rook = slowRay(sq, 1, 0, occ) | slowRay(sq, -1, 0, occ) | slowRay(sq, 0, 1, occ) | slowRay(sq, 0, -1, occ);
        uint64_t bishop =
            slowRay(sq, 1, 1, occ) | slowRay(sq, -1, -1, occ) | slowRay(sq, 1, -1, occ) | slowRay(sq, -1, 1, occ);
        ASSERT_EQ(tbRookAttacks(sq, occ), rook) << sq;
        ASSERT_EQ(tbBishopAttacks(sq, occ), bishop) << sq;
        ASSERT_EQ(tbQueenAttacks(sq, occ), rook | bishop) << sq;
    }
}

std::string moveList(const TbPosition &p, bool captures) {
    TbMove list[TB_MAX_MOVES];
    TbMove *end = captures ? tbGenerateCaptures(&p, list) : tbGenerateMoves(&p, list);
    std::string out;
    for (TbMove *m = list; m < end; m++) {
        out += (char)('a' + tbMoveFrom(*m) % 8);
        out += (char)('1' + tbMoveFrom(*m) / 8);
        out += (char)('a' + tbMoveTo(*m) % 8);
        out += (char)('1' + tbMoveTo(*m) / 8);
        if (tbMovePromotion(*m)) out += "?qrbn"[tbMovePromotion(*m)];
        out += ' ';
    }
    return out;
}

TEST(TbChess, GenerationOrder) {
    initSyzygy("");
    // King, then knight; pawns by square: en passant first, then targets
    // in square order with promotions queen, knight, rook, bishop.
    TbPosition p = tbFromFen("1r6/P7/8/3pP3/8/8/8/K5Nk w - d6 0 1");
    EXPECT_EQ(moveList(p, false), "a1b1 a1a2 a1b2 g1e2 g1f3 g1h3 e5d6 e5e6 a7a8q a7a8n a7a8r a7a8b "
                                  "a7b8q a7b8n a7b8r a7b8b ");
    EXPECT_EQ(moveList(p, true), "e5d6 a7b8q a7b8n a7b8r a7b8b ");
}

TEST(TbChess, MakeMove) {
    initSyzygy("");
    struct Case {
        const char *fen;
        TbMove move;
        bool legal;
        const char *after;
    } cases[] = {
        // A double step sets the en passant square only when a pawn can take.
        {"4k3/8/8/8/3p4/8/4P3/4K3 w - - 5 1", tbBuildMove(12, 28), true, "4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1"},
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 5 1", tbBuildMove(12, 28), true, "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1"},
        // En passant removes the pawn behind the target square.
        {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", tbBuildMove(27, 20), true, "4k3/8/8/8/8/4p3/8/4K3 w - - 0 1"},
        // Promotion with capture, quiet move counting up, capture resetting.
        {"1r2k3/P7/8/8/8/8/8/4K3 w - - 7 1", tbBuildMove(48, 57, TB_PROMOTE_KNIGHT), true,
         "1N2k3/8/8/8/8/8/8/4K3 b - - 0 1"},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 7 1", tbBuildMove(0, 8), true, "4k3/8/8/8/8/8/R7/4K3 b - - 8 1"},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 255 1", tbBuildMove(0, 8), true, "4k3/8/8/8/8/8/R7/4K3 b - - 255 1"},
        // Illegal: into check, next to the other king.
        {"4k3/8/8/8/8/8/3r4/4K3 w - - 0 1", tbBuildMove(4, 3), false, nullptr},
        {"8/8/8/8/8/3k4/8/4K3 w - - 0 1", tbBuildMove(4, 12), false, nullptr},
    };
    for (const Case &c : cases) {
        TbPosition p = tbFromFen(c.fen), next;
        EXPECT_EQ(tbMakeMove(&next, &p, c.move), c.legal) << c.fen;
        if (c.after) {
            EXPECT_EQ(tbToFen(next), c.after) << c.fen;
        }
    }
}

}  // namespace
