// The king and pawn against king bitbase: draw exactly where the KPvK table
// says draw, for every legal position and either colour owning the pawn.
#include <gtest/gtest.h>

#include <vector>

#include "search/kpk.h"
#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace {

TEST(Kpk, StoredBitbaseEqualsRetrogradeAnalysis) {
    std::vector<u64> built(KPK_WORDS);
    buildKpkBitbase(built.data());
    for (int i = 0; i < KPK_WORDS; i++) ASSERT_EQ(built[i], kpk_bitbase[i]) << "word " << i;
}

TEST(Kpk, AgreesWithTheKPvKTableOnEveryLegalPosition) {
    initSyzygy(tbTestDir().c_str());
    ASSERT_GE(max_tb_pieces, 3);
    int checked = 0, wrong = 0;
    for (int strong = BLACK; strong <= WHITE; strong++)
        for (int stm = 0; stm < 2; stm++)
            for (int pawn = 8; pawn < 56; pawn++)
                for (int sk = 0; sk < 64; sk++)
                    for (int wk = 0; wk < 64; wk++) {
                        if (sk == wk || sk == pawn || wk == pawn) continue;
                        TbPosition p = {};
                        u64 strong_set = bit(sk) | bit(pawn), weak_set = bit(wk);
                        p.white = strong == WHITE ? strong_set : weak_set;
                        p.black = strong == WHITE ? weak_set : strong_set;
                        p.kings = bit(sk) | bit(wk);
                        p.pawns = bit(pawn);
                        p.turn = (uint8_t)(stm ? strong : !strong);
                        if (!tbIsLegal(&p)) continue;
                        int success = 0;
                        int wdl = probeWdl(&p, &success);
                        ASSERT_NE(success, 0) << tbToFen(p);
                        bool draw = kpkIsDraw(sk, wk, pawn, strong, stm != 0);
                        if (draw != (wdl == 0) && wrong++ < 10)
                            ADD_FAILURE() << tbToFen(p) << " table " << wdl << " bitbase draw " << draw;
                        checked++;
                    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(checked, 300000);
    initSyzygy("");
}

TEST(Kpk, IndexLayout) {
    // Strong king e1, weak king e8, pawn a2, strong side to move:
    // 4 | 60 << 6 | 1 << 12 | (5 * 4 + 0) << 13.
    EXPECT_EQ(kpkIndex(E1, E8, A2, true), 4 | 60 << 6 | 1 << 12 | 20 << 13);
    // Pawn on d7 (rank 6 of 1..6): group 0 * 4 + 3.
    EXPECT_EQ(kpkIndex(A1, H8, D7, false), 0 | 63 << 6 | 0 << 12 | 3 << 13);
}

}  // namespace
