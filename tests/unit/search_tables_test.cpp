// Tables built at start-up for the search.
#include <gtest/gtest.h>

#include <cmath>

#include "search/tables.h"

namespace {

TEST(CentreTable, CornersEdgesAndCentre) {
    struct Case { int square; int value; };
    const Case cases[] = {{A1, 0}, {H1, 0}, {A8, 0}, {H8, 0}, {D4, 6}, {E4, 6}, {D5, 6}, {E5, 6},
                          {B1, 1}, {A4, 3}, {C3, 4}, {F6, 4}, {G7, 2}};
    for (const Case &c : cases) EXPECT_EQ(centre_table[c.square], c.value) << "square " << c.square;
    for (int sq = 0; sq < 64; sq++) {
        int f = sq % 8, r = sq / 8;
        EXPECT_EQ(centre_table[sq], std::min(f, 7 - f) + std::min(r, 7 - r)) << "square " << sq;
    }
}

TEST(MoveCentrality, TowardsTheCentreScoresHigher) {
    initMoveCentrality();
    EXPECT_EQ(move_centrality[A1 * 64 + D4], 55);  // 6 * 8 + 7
    EXPECT_EQ(move_centrality[D4 * 64 + A1], 1);   // 0 * 8 + 1
    EXPECT_EQ(move_centrality[E2 * 64 + E4], 6 * 8 + (7 - 4));
    EXPECT_EQ(move_centrality[G1 * 64 + F3], 4 * 8 + (7 - 1));
    for (int from = 0; from < 64; from++)
        for (int to = 0; to < 64; to++)
            ASSERT_EQ(move_centrality[from * 64 + to], centre_table[to] * 8 + 7 - centre_table[from]);
}

TEST(ReductionTable, LogarithmicAndTruncated) {
    initReductionTable();
    for (int i = 0; i < 64; i++) {
        EXPECT_EQ(reduction_table[0][i], 0);
        EXPECT_EQ(reduction_table[i][0], 0);
        EXPECT_EQ(reduction_table[1][i], 0);  // ln 1 = 0
        EXPECT_EQ(reduction_table[i][1], 0);
    }
    EXPECT_EQ(reduction_table[63][63], 13);
    EXPECT_EQ(reduction_table[2][2], 0);    // 0.369...
    EXPECT_EQ(reduction_table[8][8], 3);    // 3.323...
    EXPECT_EQ(reduction_table[10][20], 5);  // 5.318...
    EXPECT_EQ(reduction_table[20][10], 5);
}

TEST(ReductionTable, NoEntryLiesOnARoundingEdge) {
    // Every build and processor must get the same table: no product may lie
    // so close to a whole number that the last bit of a logarithm decides.
    initReductionTable();
    for (int d = 1; d < 64; d++)
        for (int m = 1; m < 64; m++) {
            long double exact = std::log((long double)d) * std::log((long double)m) / 1.3L;
            long double frac = exact - std::floor(exact);
            if (d > 1 && m > 1) {
                EXPECT_GT(std::min(frac, 1 - frac), 1e-9L) << d << " " << m;
            }
            EXPECT_EQ(reduction_table[d][m], (int)std::floor(exact)) << d << " " << m;
        }
}

}  // namespace
