// Probing against the real tables: every value must agree with a one-ply
// search over the legal moves that uses the tables themselves, colour- and
// file-mirrored positions must give the same answers, and the DTZ of a won
// position must count down along its best moves to a zeroing move.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace {

class TbProbe : public ::testing::Test {
protected:
    void SetUp() override {
        initSyzygy(tbTestDir().c_str());
        ASSERT_EQ(max_tb_pieces, 4) << "tables missing from " << tbTestDir();
    }
    void TearDown() override { initSyzygy(""); }
};

int sign(int v) { return (v > 0) - (v < 0); }

uint64_t flipRanks(uint64_t b) { return __builtin_bswap64(b); }
uint64_t flipFiles(uint64_t b) {
    b = ((b >> 1) & 0x5555555555555555ULL) | ((b & 0x5555555555555555ULL) << 1);
    b = ((b >> 2) & 0x3333333333333333ULL) | ((b & 0x3333333333333333ULL) << 2);
    return ((b >> 4) & 0x0f0f0f0f0f0f0f0fULL) | ((b & 0x0f0f0f0f0f0f0f0fULL) << 4);
}

// Same position with colours exchanged and the board turned upside down.
TbPosition colourFlipped(const TbPosition &p) {
    TbPosition q = p;
    q.white = flipRanks(p.black);
    q.black = flipRanks(p.white);
    q.kings = flipRanks(p.kings);
    q.queens = flipRanks(p.queens);
    q.rooks = flipRanks(p.rooks);
    q.bishops = flipRanks(p.bishops);
    q.knights = flipRanks(p.knights);
    q.pawns = flipRanks(p.pawns);
    q.turn = !p.turn;
    q.ep = p.ep ? (uint8_t)(p.ep ^ 56) : 0;
    return q;
}

TbPosition fileMirrored(const TbPosition &p) {
    TbPosition q = p;
    q.white = flipFiles(p.white);
    q.black = flipFiles(p.black);
    q.kings = flipFiles(p.kings);
    q.queens = flipFiles(p.queens);
    q.rooks = flipFiles(p.rooks);
    q.bishops = flipFiles(p.bishops);
    q.knights = flipFiles(p.knights);
    q.pawns = flipFiles(p.pawns);
    q.ep = p.ep ? (uint8_t)(p.ep ^ 7) : 0;
    return q;
}

bool isZeroing(const TbPosition &pos, TbMove m) {
    return tbIsCapture(&pos, m) || tbIsEnPassant(&pos, m) || (pos.pawns & (1ULL << tbMoveFrom(m)));
}

std::vector<TbMove> legalMoves(const TbPosition &pos) {
    TbMove list[TB_MAX_MOVES];
    TbMove *end = tbGenerateMoves(&pos, list);
    std::vector<TbMove> out;
    for (TbMove *m = list; m < end; m++) {
        TbPosition next;
        if (tbMakeMove(&next, &pos, *m)) out.push_back(*m);
    }
    return out;
}

int probeWdlOrFail(const TbPosition &pos) {
    int success = 0;
    int v = probeWdl(&pos, &success);
    EXPECT_NE(success, 0) << tbToFen(pos);
    return v;
}

// Win / draw / loss by one ply of search, where child values come from
// childWdl (mate and stalemate decided here).
template <typename ChildWdl>
int oneplySign(const TbPosition &pos, ChildWdl childWdl) {
    std::vector<TbMove> moves = legalMoves(pos);
    if (moves.empty()) return tbInCheck(&pos) ? -1 : 0;
    int best = -1;
    for (TbMove m : moves) {
        TbPosition next;
        tbMakeMove(&next, &pos, m);
        best = std::max(best, -sign(childWdl(next)));
    }
    return best;
}

// What the DTZ of pos must be, by one ply: the quickest zeroing win (or mate)
// for a winner, the slowest for a loser. The move reaching it goes to *best.
int oneplyDtz(const TbPosition &pos, int wdl, TbMove *best) {
    std::vector<TbMove> moves = legalMoves(pos);
    if (moves.empty()) return wdl < 0 ? -1 : 0;
    int result = wdl > 0 ? 1 << 20 : 0;
    *best = 0;
    for (TbMove m : moves) {
        TbPosition next;
        tbMakeMove(&next, &pos, m);
        int success = 0;
        int cost;
        if (isZeroing(pos, m) || tbIsMate(&next)) {
            int child = probeWdl(&next, &success);
            if (-child != wdl && !tbIsMate(&next)) continue;
            cost = wdl == 2 || wdl == -2 ? 1 : 101;
        } else {
            int d = probeDtz(&next, &success);
            if (sign(-d) != sign(wdl)) continue;
            cost = (d < 0 ? -d : d) + 1;
        }
        EXPECT_NE(success, 0);
        if ((wdl > 0 && cost < result) || (wdl < 0 && cost > result)) {
            result = cost;
            *best = m;
        }
    }
    return wdl > 0 ? result : -result;
}

// The DTZ of a won or lost position agrees with one ply of search; for a
// win, follows the best move to the next position until a zeroing move.
void walkDtz(TbPosition pos, int max_steps) {
    for (int step = 0; step < max_steps; step++) {
        int success = 0;
        int wdl = probeWdl(&pos, &success);
        if (wdl == 0) return;
        int dtz = probeDtz(&pos, &success);
        ASSERT_NE(success, 0) << tbToFen(pos);
        if (wdl < 0) {
            // The loser: go on with its longest resistance.
            TbMove reply = 0;
            oneplyDtz(pos, wdl, &reply);
            if (reply == 0 || isZeroing(pos, reply)) return;
            TbPosition next;
            tbMakeMove(&next, &pos, reply);
            pos = next;
            continue;
        }
        TbMove best = 0;
        int expected = oneplyDtz(pos, wdl, &best);
        // Tables that do not store exact plies keep the distance in pairs of
        // plies (a stored value v reads as 2v + 1 for both 2v + 1 and 2v + 2),
        // so a position and its best successor may differ by one either way.
        EXPECT_TRUE(dtz >= expected - 1 && dtz <= expected + 1)
            << tbToFen(pos) << " dtz " << dtz << " expected " << expected;
        if (best == 0 || isZeroing(pos, best)) return;
        TbPosition next;
        tbMakeMove(&next, &pos, best);
        pos = next;
    }
}

struct Table3 {
    const char *name;
    uint64_t TbPosition::*piece;
};

// Every position of a three-piece table (the piece white), by side to move,
// king squares and piece square.
TEST_F(TbProbe, EveryThreePiecePositionAgreesWithOnePlySearch) {
    const Table3 tables[] = {{"KQvK", &TbPosition::queens}, {"KRvK", &TbPosition::rooks},
                             {"KBvK", &TbPosition::bishops}, {"KNvK", &TbPosition::knights},
                             {"KPvK", &TbPosition::pawns}};
    const int INVALID = 99;
    std::vector<int8_t> value(2 * 64 * 64 * 64);
    auto index = [](const TbPosition &p, uint64_t piece_set) {
        int wk = __builtin_ctzll(p.kings & p.white), bk = __builtin_ctzll(p.kings & p.black);
        return ((p.turn * 64 + wk) * 64 + bk) * 64 + __builtin_ctzll(piece_set);
    };
    for (const Table3 &t : tables) {
        SCOPED_TRACE(t.name);
        int checked = 0, failures = 0;
        for (int turn = 0; turn < 2; turn++)
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++)
                    for (int sq = 0; sq < 64; sq++) {
                        int i = ((turn * 64 + wk) * 64 + bk) * 64 + sq;
                        value[i] = INVALID;
                        if (wk == bk || wk == sq || bk == sq) continue;
                        if (t.piece == &TbPosition::pawns && (sq < 8 || sq >= 56)) continue;
                        TbPosition p{};
                        p.white = (1ULL << wk) | (1ULL << sq);
                        p.black = 1ULL << bk;
                        p.kings = (1ULL << wk) | (1ULL << bk);
                        p.*(t.piece) = 1ULL << sq;
                        p.turn = (uint8_t)turn;
                        if (!tbIsLegal(&p)) continue;
                        value[i] = (int8_t)probeWdlOrFail(p);
                        // The same position seen from the other colour, and
                        // mirrored left to right, has the same value.
                        TbPosition q = colourFlipped(p);
                        int success = 0;
                        if (probeWdl(&q, &success) != value[i] || probeWdl(&(q = fileMirrored(p)), &success) != value[i])
                            failures++;
                    }
        EXPECT_EQ(failures, 0) << "mirrored positions disagree";
        failures = 0;
        for (int turn = 0; turn < 2; turn++)
            for (int wk = 0; wk < 64; wk++)
                for (int bk = 0; bk < 64; bk++)
                    for (int sq = 0; sq < 64; sq++) {
                        int i = ((turn * 64 + wk) * 64 + bk) * 64 + sq;
                        if (value[i] == INVALID) continue;
                        TbPosition p{};
                        p.white = (1ULL << wk) | (1ULL << sq);
                        p.black = 1ULL << bk;
                        p.kings = (1ULL << wk) | (1ULL << bk);
                        p.*(t.piece) = 1ULL << sq;
                        p.turn = (uint8_t)turn;
                        int expected = oneplySign(p, [&](const TbPosition &child) {
                            if (__builtin_popcountll(child.white | child.black) == 2) return 0;   // two kings
                            uint64_t set = child.*(t.piece);
                            if (!set) return probeWdlOrFail(child);   // promoted
                            int v = value[index(child, set)];
                            EXPECT_NE(v, INVALID) << tbToFen(child);
                            return v;
                        });
                        if (sign(value[i]) != expected) {
                            if (failures++ < 5) ADD_FAILURE() << tbToFen(p) << " wdl " << (int)value[i] << " search " << expected;
                        }
                        checked++;
                    }
        EXPECT_EQ(failures, 0);
        EXPECT_GT(checked, 300000);
    }
}

// Random legal positions of a material given as "KRPvKB": white's letters
// before the "v", black's after.
std::vector<TbPosition> samplePositions(const char *name, int count, std::mt19937_64 &rng) {
    std::vector<TbPosition> out;
    while ((int)out.size() < count) {
        TbPosition p{};
        bool ok = true;
        int side = 0;
        for (const char *c = name; *c && ok; c++) {
            if (*c == 'v') {
                side = 1;
                continue;
            }
            int sq;
            do sq = (int)(rng() & 63);
            while (((p.white | p.black) >> sq) & 1);
            if (*c == 'P' && (sq < 8 || sq >= 56)) {
                ok = false;
                break;
            }
            tbPutPiece(p, *c, side != 0, sq);
        }
        p.turn = (uint8_t)(rng() & 1);
        if (ok && tbIsLegal(&p)) out.push_back(p);
    }
    return out;
}

const char *const FOUR_PIECE_TABLES[] = {
    "KQQvK", "KQRvK", "KQBvK", "KQNvK", "KQPvK", "KRRvK", "KRBvK", "KRNvK", "KRPvK", "KBBvK", "KBNvK", "KBPvK",
    "KNNvK", "KNPvK", "KPPvK", "KQvKQ", "KQvKR", "KQvKB", "KQvKN", "KQvKP", "KRvKR", "KRvKB", "KRvKN", "KRvKP",
    "KBvKB", "KBvKN", "KBvKP", "KNvKN", "KNvKP", "KPvKP"};

TEST_F(TbProbe, FourPieceSamplesAgreeWithOnePlySearch) {
    std::mt19937_64 rng(20240611);
    for (const char *name : FOUR_PIECE_TABLES) {
        SCOPED_TRACE(name);
        int failures = 0;
        for (const TbPosition &p : samplePositions(name, 5000, rng)) {
            int v = probeWdlOrFail(p);
            int expected = oneplySign(p, [](const TbPosition &child) { return probeWdlOrFail(child); });
            TbPosition q = colourFlipped(p), r = fileMirrored(p);
            int success = 0;
            bool mirrors_agree = probeWdl(&q, &success) == v && probeWdl(&r, &success) == v;
            if ((sign(v) != expected || !mirrors_agree) && failures++ < 5)
                ADD_FAILURE() << tbToFen(p) << " wdl " << v << " search " << expected << " mirrors " << mirrors_agree;
        }
        EXPECT_EQ(failures, 0);
    }
}

// The searching threads may probe a table nobody has used yet all at the
// same moment: one maps the file, the others wait for it, and every thread
// gets the answers one thread alone gets.
TEST_F(TbProbe, ConcurrentFirstProbesGiveTheSameAnswers) {
    const char *const fens[] = {
        "8/8/8/8/8/2k5/8/KR6 w - - 0 1",      "8/8/8/3k4/8/8/1p6/KQ6 w - - 0 1", "8/8/8/8/3k4/8/1P6/K7 b - - 0 1",
        "8/8/8/3k4/8/3b4/8/KR6 w - - 0 1",    "8/8/8/8/3k4/8/8/KBN5 w - - 0 1",  "8/8/4p3/3k4/8/8/1P6/K7 w - - 0 1",
        "8/8/8/3kn3/8/8/8/KR6 b - - 0 1",     "8/8/8/3k4/8/8/PP6/K7 w - - 0 1",
    };
    std::vector<TbPosition> positions;
    std::vector<int> wdl, dtz;
    for (const char *fen : fens) {
        positions.push_back(tbFromFen(fen));
        int success;
        wdl.push_back(probeWdl(&positions.back(), &success));
        ASSERT_NE(success, 0) << fen;
        dtz.push_back(probeDtz(&positions.back(), &success));
        ASSERT_NE(success, 0) << fen;
    }
    constexpr int THREADS = 8;
    for (int round = 0; round < 3; round++) {
        // Every table unmapped again.
        initSyzygy(tbTestDir().c_str());
        std::atomic<int> ready{0};
        std::vector<int> wrong(THREADS, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < THREADS; t++)
            threads.emplace_back([&, t] {
                ready++;
                while (ready < THREADS) {
                }
                // Half of the threads start with the DTZ tables, each thread
                // at another position.
                for (size_t k = 0; k < positions.size(); k++) {
                    size_t i = (k + (size_t)t) % positions.size();
                    int success;
                    if (t % 2 && probeDtz(&positions[i], &success) != dtz[i]) wrong[t]++;
                    if (probeWdl(&positions[i], &success) != wdl[i] || success == 0) wrong[t]++;
                    if (probeDtz(&positions[i], &success) != dtz[i] || success == 0) wrong[t]++;
                }
            });
        for (std::thread &t : threads) t.join();
        for (int t = 0; t < THREADS; t++) EXPECT_EQ(wrong[t], 0) << "thread " << t << ", round " << round;
    }
}

TEST_F(TbProbe, DtzCountsDownAlongBestMoves) {
    std::mt19937_64 rng(77);
    const char *const tables[] = {"KQvK", "KRvK", "KPvK", "KQQvK", "KRBvK", "KBNvK", "KBBvK", "KNPvK", "KPPvK",
                                  "KQvKR", "KRvKB", "KRvKN", "KQvKP", "KRvKP", "KPvKP", "KBPvK", "KQvKQ"};
    for (const char *name : tables) {
        SCOPED_TRACE(name);
        for (const TbPosition &p : samplePositions(name, 40, rng)) walkDtz(p, 400);
    }
}

// The five-piece tables beside the repository (skipped in a clone without
// them): samples agree with one ply of search over the four- and five-piece
// tables, mirrored positions agree, DTZ counts down.
TEST(TbProbeFive, SamplesAgreeWithOnePlySearch) {
    std::string shared = tbSharedDir();
    initSyzygy(shared.c_str());
    if (max_tb_pieces < 5) {
        initSyzygy("");
        GTEST_SKIP() << "no five-piece tables in " << shared;
    }
    const char *const tables[] = {"KBBPvK", "KBBvKB", "KBNPvK", "KBNvKB", "KBNvKN", "KNNvKB",
                                  "KQBvKQ", "KQQvKQ", "KQRvKR", "KRBvKR", "KRPvKR"};
    std::mt19937_64 rng(99);
    for (const char *name : tables) {
        SCOPED_TRACE(name);
        int failures = 0;
        int skipped = 0;
        for (const TbPosition &p : samplePositions(name, 400, rng)) {
            int v = probeWdlOrFail(p);
            // Promotions may lead to tables that are not in the selection.
            bool missing = false;
            int expected = oneplySign(p, [&missing](const TbPosition &child) {
                int success = 0;
                int w = probeWdl(&child, &success);
                missing |= success == 0;
                return w;
            });
            if (missing) {
                skipped++;
                continue;
            }
            TbPosition q = colourFlipped(p), r = fileMirrored(p);
            int success = 0;
            bool mirrors_agree = probeWdl(&q, &success) == v && probeWdl(&r, &success) == v;
            if ((sign(v) != expected || !mirrors_agree) && failures++ < 5)
                ADD_FAILURE() << tbToFen(p) << " wdl " << v << " search " << expected << " mirrors " << mirrors_agree;
        }
        EXPECT_EQ(failures, 0);
        EXPECT_LT(skipped, 200);
        std::string n = name;
        if (n.find('P') == std::string::npos)
            for (const TbPosition &p : samplePositions(name, 4, rng)) walkDtz(p, 60);
    }
    initSyzygy("");
}

}  // namespace
