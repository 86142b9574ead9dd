// Fixed attack tables and the slider lookup tables.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/sliders.h"

namespace {

u64 squares(std::initializer_list<int> list) {
    u64 b = 0;
    for (int sq : list) b |= bit(sq);
    return b;
}

TEST(BoardAttacks, LeaperTables) {
    EXPECT_EQ(king_attacks[A1], squares({B1, A2, B2}));
    EXPECT_EQ(popCount(king_attacks[E4]), 8);
    EXPECT_EQ(knight_attacks[A1], squares({C2, B3}));
    EXPECT_EQ(knight_attacks[H8], squares({F7, G6}));
    EXPECT_EQ(popCount(knight_attacks[D4]), 8);
    EXPECT_EQ(pawn_attacks[WHITE][A2], squares({B3}));
    EXPECT_EQ(pawn_attacks[WHITE][E4], squares({D5, F5}));
    EXPECT_EQ(pawn_attacks[BLACK][H7], squares({G6}));
    EXPECT_EQ(pawn_attacks[BLACK][E5], squares({D4, F4}));
}

TEST(BoardAttacks, SpansRaysAndLines) {
    EXPECT_EQ(front_span[WHITE][E6], squares({E7, E8}));
    EXPECT_EQ(front_span[BLACK][E3], squares({E2, E1}));
    EXPECT_EQ(passed_span[WHITE][A6], squares({A7, A8, B7, B8}));
    EXPECT_EQ(passed_span[BLACK][H3], squares({H2, H1, G2, G1}));
    EXPECT_EQ(passed_span[WHITE][D8], 0u);
    EXPECT_EQ(popCount(rook_rays[D4]), 14);
    EXPECT_EQ(popCount(bishop_rays[D4]), 13);
    EXPECT_EQ(bishop_rays[A1], squares({B2, C3, D4, E5, F6, G7, H8}));
    EXPECT_EQ(queen_rays[C3], rook_rays[C3] | bishop_rays[C3]);

    EXPECT_TRUE(aligned(A1, D4, H8));
    EXPECT_FALSE(aligned(A1, B3, C5));
    EXPECT_TRUE(aligned(A8, D5, H1));
    EXPECT_TRUE(aligned(B2, B5, B8));
    EXPECT_FALSE(aligned(A1, B2, C2));
    // Every square carries exactly four lines, and two squares share at most one.
    for (int a = 0; a < 64; a++) {
        EXPECT_EQ(popCount(line_id[a]), 4);
        for (int b = 0; b < 64; b++)
            if (a != b) {
                EXPECT_LE(popCount(line_id[a] & line_id[b]), 1);
            }
    }

    EXPECT_EQ(between_bb[A1][H8], squares({B2, C3, D4, E5, F6, G7}));
    EXPECT_EQ(between_bb[E1][E4], squares({E2, E3}));
    EXPECT_EQ(between_bb[E1][F3], 0u);
    EXPECT_EQ(between_bb[D4][E5], 0u);
}

TEST(BoardSliders, MasksAndLookups) {
    EXPECT_EQ(popCount(rook_mask[A1]), 12);
    EXPECT_EQ(rook_mask[A1], squares({B1, C1, D1, E1, F1, G1, A2, A3, A4, A5, A6, A7}));
    EXPECT_EQ(popCount(rook_mask[D4]), 10);
    EXPECT_EQ(popCount(bishop_mask[D4]), 9);
    EXPECT_EQ(popCount(bishop_mask[A1]), 6);

    EXPECT_EQ(popCount(rookAttacks(A1, 0)), 14);
    u64 r = rookAttacks(E4, squares({E6, G4}));
    EXPECT_EQ(r, squares({E5, E6, F4, G4, D4, C4, B4, A4, E3, E2, E1}));
    // Pieces on the edge squares outside the mask never change the result.
    EXPECT_EQ(rookAttacks(E4, squares({E6, G4}) | squares({A4, H4, E1, E8, A1, H8})), r);
    EXPECT_EQ(bishopAttacks(C1, squares({E3, B2})), squares({B2, D2, E3}));
    EXPECT_EQ(queenAttacks(D4, ~0ULL), king_attacks[D4]);
}

// The lookups of the running build, and the magic index whatever the build,
// map every occupancy subset of every mask to the attack set of the ray walk.
TEST(BoardSliders, EverySubsetOfEveryMask) {
    for (int sq = 0; sq < 64; sq++) {
        struct {
            u64 mask, magic, (*walk)(u64, int), (*lookup)(int, u64);
            int shift;
        } kinds[2] = {{rook_mask[sq], ROOK_MAGIC[sq], getRookMoves, rookAttacks, 52},
                      {bishop_mask[sq], BISHOP_MAGIC[sq], getBishopMoves, bishopAttacks, 55}};
        for (auto &k : kinds) {
            std::vector<u64> slot(1u << (64 - k.shift), 0), seen(1u << (64 - k.shift), 0);
            u64 subset = 0;
            do {
                u64 moves = k.walk(subset, sq);
                ASSERT_EQ(k.lookup(sq, subset), moves) << "square " << sq;
                u64 index = (subset * k.magic) >> k.shift;
                if (seen[index]) {
                    ASSERT_EQ(slot[index], moves) << "magic collision on square " << sq;
                }
                seen[index] = 1;
                slot[index] = moves;
                subset = (subset - k.mask) & k.mask;
            } while (subset);
        }
    }
}

}  // namespace
