// Move generation: perft counts, generation order, flags and the quiescence
// modes. A slow reference generator built on a plain square array and ray
// walks checks the fast one move by move on positions from random games.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "board/makemove.h"
#include "board/perft.h"
#include "board/sliders.h"
#include "board_helpers.h"

using namespace board_test;

namespace {

const char *const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

u64 perft(int depth) {
    u64 n = 0;
    std::string out = captureStdout([&] { n = perftDivide(0, depth - 1); });
    return n;
}

struct PerftCase {
    const char *fen;
    u64 counts[4];  // depths 1..4
    int deep;       // a deeper depth with its published count (0 = none)
    u64 deep_count;
};

// Well-known positions. The deep counts are the published ones; the counts of
// depths 1-4 agree with them.
const PerftCase PERFT_CASES[] = {
    {START_FEN, {20, 400, 8902, 197281}, 5, 4865609},
    {KIWIPETE, {48, 2039, 97862, 4085603}, 0, 0},
    // En passant that would expose the king along the rank, rook pins.
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238}, 5, 674624},
    // Promotions with and without capture, castling with a checked path.
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", {6, 264, 9467, 422333}, 0, 0},
    {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", {6, 264, 9467, 422333}, 0, 0},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", {44, 1486, 62379, 2103487}, 0, 0},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", {46, 2079, 89890, 3894594}, 0, 0},
    // En passant pinned along the rank and on a diagonal, discovered checks.
    {"3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", {18, 92, 1670, 10138}, 6, 1134888},
    {"8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1", {15, 126, 1928, 13931}, 6, 1440467},
    {"8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1", {13, 102, 1266, 10276}, 6, 1015133},
    // Castling: into, through and out of check, and rights lost by captures.
    {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", {15, 66, 1198, 6399}, 6, 661072},
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", {16, 71, 1286, 7418}, 6, 803711},
    {"r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1", {26, 1141, 27826, 1274206}, 0, 0},
    {"r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1", {44, 1494, 50509, 1720476}, 0, 0},
    // Promotions, under-promotions with check, double check.
    {"2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1", {11, 133, 1442, 19174}, 6, 3821001},
    {"8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1", {29, 165, 5160, 31961}, 5, 1004658},
    {"4k3/1P6/8/8/8/8/K7/8 w - - 0 1", {9, 40, 472, 2661}, 6, 217342},
    {"8/P1k5/K7/8/8/8/8/8 w - - 0 1", {6, 27, 273, 1329}, 6, 92683},
    {"8/k1P5/8/1K6/8/8/8/8 w - - 0 1", {10, 25, 268, 926}, 7, 567584},
    {"8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1", {37, 183, 6559, 23527}, 0, 0},
    // Mate and stalemate: nothing at any depth.
    {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", {0, 0, 0, 0}, 0, 0},
    {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", {0, 0, 0, 0}, 0, 0},
};

TEST(BoardPerft, KnownPositions) {
    for (const PerftCase &c : PERFT_CASES) {
        ASSERT_TRUE(load(c.fen)) << c.fen;
        for (int depth = 1; depth <= 4; depth++)
            EXPECT_EQ(perft(depth), c.counts[depth - 1]) << c.fen << " depth " << depth;
        if (c.deep) {
            EXPECT_EQ(perft(c.deep), c.deep_count) << c.fen << " depth " << c.deep;
        }
        EXPECT_EQ(ply_count, 0);
        EXPECT_EQ(curr_ply, &plies[0]);
    }
}

TEST(BoardPerft, DivideLines) {
    ASSERT_TRUE(load(START_FEN));
    u64 n = 0;
    std::string out = captureStdout([&] { n = perftDivide(0, 0); });
    EXPECT_EQ(n, 20u);
    EXPECT_EQ(out, "");  // depth 1: the root is the last level

    out = captureStdout([&] { n = perftDivide(0, 1); });
    EXPECT_EQ(n, 400u);
    std::string expected;
    for (const char *m : {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4", "f2f3",
                          "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"})
        expected += std::string(m) + ": 20\n";
    EXPECT_EQ(out, expected);

    ASSERT_TRUE(load("8/P1k5/K7/8/8/8/8/8 w - - 0 1"));
    out = captureStdout([&] { n = perftDivide(0, 1); });
    EXPECT_EQ(n, 27u);
    EXPECT_NE(out.find("a7a8q: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("a7a8n: 6\n"), std::string::npos) << out;
}

TEST(BoardMovegen, StartPositionOrder) {
    ASSERT_TRUE(load(START_FEN));
    std::string got;
    for (Move m : legalMoves()) got += uci(m) + " ";
    EXPECT_EQ(got,
              "a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 "
              "b1a3 b1c3 g1f3 g1h3 ");
    // Pieces in the start position are neither attacked nor advanced: all quiet.
    for (Move m : legalMoves()) EXPECT_EQ(m & ORDER_MASK, 0u) << uci(m);
    EXPECT_EQ(legalMoves()[0], buildMove(A2, A3, PAWN));
}

struct FlagCase {
    const char *fen;
    const char *move;
    u32 flags;  // expected FLAG_* bits
    int captured;
};

// Hand-made positions for each flag.
const FlagCase FLAG_CASES[] = {
    // Direct checks by a rook; a quiet rook move beside them.
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "a1a8", FLAG_CHECK, 0},
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "a1d1", FLAG_CHECK, 0},
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "a1b1", 0, 0},
    // Castling whose rook gives check, and one whose rook does not.
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1", FLAG_CHECK, 0},
    {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1", FLAG_CHECK, 0},
    {"6k1/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1", 0, 0},
    // A knight leaving the line of its rook: discovered, and also direct when
    // it lands next to the king's knight squares.
    {"4k3/8/8/8/4N3/8/8/4R1K1 w - - 0 1", "e4c3", FLAG_DISCOVERED, 0},
    {"4k3/8/8/8/4N3/8/8/4R1K1 w - - 0 1", "e4d6", FLAG_DISCOVERED | FLAG_CHECK, 0},
    // A (passed) pawn between the rook and the king: pushing it keeps the
    // line closed, capturing off the file uncovers the rook.
    {"4k3/8/8/3n4/4P3/8/8/4R1K1 w - - 0 1", "e4e5", FLAG_ADVANCE, 0},
    {"4k3/8/8/3n4/4P3/8/8/4R1K1 w - - 0 1", "e4d5", FLAG_DISCOVERED | FLAG_ADVANCE, KNIGHT},
    // Escape: the knight on e4 is attacked by the d5 pawn and undefended; it
    // escapes to unattacked squares only (the c8 rook covers c3 and c5).
    {"2r1k3/8/8/3p4/4N3/8/8/K7 w - - 0 1", "e4g5", FLAG_ESCAPE, 0},
    {"2r1k3/8/8/3p4/4N3/8/8/K7 w - - 0 1", "e4c5", 0, 0},
    {"2r1k3/8/8/3p4/4N3/8/8/K7 w - - 0 1", "e4f6", FLAG_ESCAPE | FLAG_CHECK, 0},
    // Defended by the king: no escape.
    {"2r1k3/8/8/3p4/4N3/4K3/8/8 w - - 0 1", "e4g5", 0, 0},
    // Advance: a pawn in its far half, and a passed pawn in its own half.
    {"4k3/8/8/3P4/8/8/8/4K3 w - - 0 1", "d5d6", FLAG_ADVANCE, 0},
    {"4k3/8/8/8/8/8/1P6/4K3 w - - 0 1", "b2b4", FLAG_ADVANCE, 0},
    {"4k3/2p5/8/8/8/8/1P6/4K3 w - - 0 1", "b2b3", 0, 0},
    {"4k3/8/8/8/3p4/8/8/4K3 b - - 0 1", "d4d3", FLAG_ADVANCE, 0},
    // Captures carry the victim's type.
    // (The pawn is attacked and undefended and lands on an unattacked square,
    // and it is passed.)
    {"4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1", "e4d5", FLAG_ESCAPE | FLAG_ADVANCE, QUEEN},
    // Promotion that checks as a knight only.
    {"8/4P3/8/3k4/8/8/8/K7 w - - 0 1", "e7e8q", 0, 0},
    {"8/4P3/8/3k4/8/8/8/K7 w - - 0 1", "e7e8n", 0, 0},
    {"8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "e7e8n", FLAG_CHECK, 0},
    {"8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "e7e8q", 0, 0},
    {"8/4P3/3k4/8/8/8/8/K7 w - - 0 1", "e7e8r", 0, 0},
    // A promotion whose rook check runs through the square the pawn left.
    {"8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8r", FLAG_CHECK, 0},
    {"8/4P3/8/8/8/8/8/K3k3 w - - 0 1", "e7e8b", 0, 0},
    // En passant that checks: both check bits, from the rook behind the pawns
    // and from the pawn itself.
    {"8/8/8/R2pP2k/8/8/8/K7 w - d6 0 1", "e5d6", FLAG_CHECK | FLAG_DISCOVERED, PAWN},
    {"8/8/4k3/3pP3/8/8/8/K7 w - d6 0 1", "e5d6", 0, PAWN},
    {"8/2k5/8/3pP3/8/8/8/K7 w - d6 0 1", "e5d6", FLAG_CHECK | FLAG_DISCOVERED, PAWN},
};

TEST(BoardMovegen, Flags) {
    for (const FlagCase &c : FLAG_CASES) {
        ASSERT_TRUE(load(c.fen)) << c.fen;
        Move m = findMove(c.move);
        ASSERT_NE(m, 0u) << c.fen << " " << c.move;
        EXPECT_EQ(m & (FLAG_CHECK | FLAG_DISCOVERED | FLAG_ESCAPE | FLAG_ADVANCE | FLAG_HASH),
                  c.flags)
            << c.fen << " " << c.move;
        EXPECT_EQ(moveCaptured(m), c.captured) << c.fen << " " << c.move;
    }
}

TEST(BoardMovegen, SpecialCases) {
    // Double check by the f3 knight and the b4 bishop: king moves only, no
    // castling.
    ASSERT_TRUE(load("4k3/8/8/8/1b6/5n2/8/R3K2R w KQ - 0 1"));
    std::string king_moves;
    for (Move m : legalMoves()) king_moves += uci(m) + " ";
    EXPECT_EQ(king_moves, "e1d1 e1f1 e1e2 e1f2 ");

    // The pinned rook moves along the pin and may take the pinner.
    ASSERT_TRUE(load("4r1k1/8/8/8/8/8/4R3/4K3 w - - 0 1"));
    std::vector<std::string> rook;
    for (Move m : legalMoves())
        if (movePiece(m) == ROOK) rook.push_back(uci(m));
    EXPECT_EQ(rook, (std::vector<std::string>{"e2e3", "e2e4", "e2e5", "e2e6", "e2e7", "e2e8"}));

    // En passant that would leave both pawns off the king's rank is illegal.
    ASSERT_TRUE(load("8/8/8/r1pPK3/8/8/8/7k w - c6 0 1"));
    EXPECT_FALSE(findMove("d5c6"));
    EXPECT_TRUE(findMove("d5d6"));

    // Castling: not through an attacked f1/d1 or onto an attacked g1/c1, not
    // with b1 occupied; allowed when only b1 is attacked.
    struct {
        const char *fen, *move;
        bool present;
    } castles[] = {
        {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", true},
        {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", true},
        {"4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", false},
        {"4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", false},
        {"3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", false},
        {"2r1k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", false},
        {"1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1c1", true},
        {"4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1", "e1c1", false},
        {"4k3/8/8/8/8/8/8/R3K1NR w KQ - 0 1", "e1g1", false},
        {"4k3/8/8/8/8/8/8/R3K2R w K - 0 1", "e1c1", false},
        {"4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1", "e1g1", false},  // in check
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "e8c8", true},
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "e8g8", true},
    };
    for (const auto &c : castles) {
        ASSERT_TRUE(load(c.fen)) << c.fen;
        EXPECT_EQ(findMove(c.move) != 0, c.present) << c.fen << " " << c.move;
    }
    // Castling comes last, king side first.
    ASSERT_TRUE(load("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    std::vector<Move> all = legalMoves();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(uci(all[all.size() - 2]), "e1g1");
    EXPECT_EQ(uci(all.back()), "e1c1");
}

TEST(BoardMovegen, QuiescenceModes) {
    // Castling that checks is in GEN_ALL only; a promotion by a push is in
    // GEN_CAPTURES although it captures nothing.
    ASSERT_TRUE(load("3k4/1P6/8/8/8/8/8/R3K3 w Q - 0 1"));
    Move castle = findMove("e1c1");
    EXPECT_EQ(castle & FLAG_CHECK, FLAG_CHECK);
    EXPECT_EQ(findMove("e1c1", GEN_NOISY), 0u);
    EXPECT_NE(findMove("a1d1", GEN_NOISY), 0u);  // checks
    EXPECT_EQ(findMove("a1b1", GEN_NOISY), 0u);  // quiet
    std::string captures;
    for (Move m : legalMoves(GEN_CAPTURES)) captures += uci(m) + " ";
    EXPECT_EQ(captures, "b7b8q b7b8r b7b8b b7b8n ");

    // GEN_CAPTURES: only moves onto enemy pieces, the king's included.
    ASSERT_TRUE(load("4k3/8/8/3p4/4P3/6p1/3n4/4K2N w - - 0 1"));
    captures.clear();
    for (Move m : legalMoves(GEN_CAPTURES)) captures += uci(m) + " ";
    EXPECT_EQ(captures, "e4d5 h1g3 e1d2 ");
}

TEST(BoardMovegen, KingTargetsStepOutOfTheCheckingLine) {
    // The rook checks along the first rank: f1 stays attacked behind the king.
    ASSERT_TRUE(load("4k3/8/8/8/8/8/8/r3K3 w - - 0 1"));
    updateAttacks();
    EXPECT_EQ(kingTargets(E1), bit(D2) | bit(E2) | bit(F2));
}

// ---------------------------------------------------------------------------
// Reference generator: a square array, ray walks and make-and-test legality.
// ---------------------------------------------------------------------------

struct RefBoard {
    int type[64];    // 0 = empty
    int colour[64];
    int stm, ep;     // ep = -1 when none
    u64 castling;

    static RefBoard fromCurrent() {
        RefBoard b;
        for (int sq = 0; sq < 64; sq++) {
            b.type[sq] = 0;
            b.colour[sq] = -1;
            for (int c = BLACK; c <= WHITE; c++)
                for (int t = PAWN; t <= KING; t++)
                    if (curr_ply->side[c].pieces[t] & bit(sq)) b.type[sq] = t, b.colour[sq] = c;
        }
        b.stm = curr_ply->us == &curr_ply->side[WHITE] ? WHITE : BLACK;
        b.ep = curr_ply->ep ? lsb(curr_ply->ep) : -1;
        b.castling = curr_ply->castling;
        return b;
    }

    u64 occupancy() const {
        u64 o = 0;
        for (int sq = 0; sq < 64; sq++)
            if (type[sq]) o |= bit(sq);
        return o;
    }

    // Squares the piece on sq attacks.
    u64 attacksFrom(int sq) const {
        int f = fileOf(sq), r = rankOf(sq);
        u64 set = 0;
        auto add = [&](int df, int dr) {
            if (f + df >= 0 && f + df < 8 && r + dr >= 0 && r + dr < 8) set |= bit((r + dr) * 8 + f + df);
        };
        switch (type[sq]) {
            case PAWN:
                add(-1, colour[sq] == WHITE ? 1 : -1);
                add(1, colour[sq] == WHITE ? 1 : -1);
                break;
            case KNIGHT:
                for (auto d : {std::make_pair(1, 2), {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}})
                    add(d.first, d.second);
                break;
            case BISHOP: set = getBishopMoves(occupancy(), sq); break;
            case ROOK: set = getRookMoves(occupancy(), sq); break;
            case QUEEN: set = getBishopMoves(occupancy(), sq) | getRookMoves(occupancy(), sq); break;
            case KING:
                for (int df = -1; df <= 1; df++)
                    for (int dr = -1; dr <= 1; dr++)
                        if (df || dr) add(df, dr);
                break;
        }
        return set;
    }

    u64 attackedBy(int c) const {
        u64 set = 0;
        for (int sq = 0; sq < 64; sq++)
            if (type[sq] && colour[sq] == c) set |= attacksFrom(sq);
        return set;
    }

    int kingOf(int c) const {
        for (int sq = 0; sq < 64; sq++)
            if (type[sq] == KING && colour[sq] == c) return sq;
        return -1;
    }

    RefBoard after(int from, int to, int promotion) const {
        RefBoard b = *this;
        if (type[from] == PAWN && to == ep) b.type[to + (stm == WHITE ? -8 : 8)] = 0;
        if (type[from] == KING && (to == from + 2 || to == from - 2)) {
            int rf = to > from ? from + 3 : from - 4, rt = to > from ? from + 1 : from - 1;
            b.type[rt] = ROOK, b.colour[rt] = stm, b.type[rf] = 0;
        }
        b.type[to] = promotion ? promotion : type[from];
        b.colour[to] = stm;
        b.type[from] = 0;
        b.stm = stm ^ 1;
        return b;
    }

    bool passed(int sq) const {
        int c = colour[sq];
        for (int s = 0; s < 64; s++) {
            if (type[s] != PAWN || colour[s] == c || std::abs(fileOf(s) - fileOf(sq)) > 1) continue;
            if (c == WHITE ? rankOf(s) > rankOf(sq) : rankOf(s) < rankOf(sq)) return false;
        }
        return true;
    }

    // Every legal move with its flags, in the engine's generation order.
    std::vector<Move> generate() const {
        std::vector<Move> list;
        int us = stm, them = stm ^ 1;
        u64 them_att = attackedBy(them), us_att = attackedBy(us);
        int their_king = kingOf(them);
        auto legal = [&](const RefBoard &b) { return !(b.attackedBy(them) & bit(b.kingOf(us))); };
        auto add = [&](int from, int to, int promotion, bool special) {
            RefBoard b = after(from, to, promotion);
            if (!legal(b)) return;
            int t = type[from];
            int captured = type[to] ? type[to] : (t == PAWN && to == ep ? PAWN : 0);
            Move m = buildMove(from, to, t, captured, promotion);
            bool direct = b.attacksFrom(to) & bit(their_king);
            bool any = b.attackedBy(us) & bit(their_king);
            if (t == PAWN && to == ep) {
                if (any) m |= FLAG_CHECK | FLAG_DISCOVERED;
            } else if (t == KING && std::abs(to - from) == 2) {
                if (b.attacksFrom(to > from ? from + 1 : from - 1) & bit(their_king)) m |= FLAG_CHECK;
            } else {
                if (direct) m |= FLAG_CHECK;
                // Another piece checks: the move uncovered it.
                for (int sq = 0; sq < 64; sq++)
                    if (sq != to && b.type[sq] && b.colour[sq] == us && (b.attacksFrom(sq) & bit(their_king)))
                        m |= FLAG_DISCOVERED;
                if (!special) {
                    if ((them_att & bit(from)) && !(us_att & bit(from)) && !(them_att & bit(to))) m |= FLAG_ESCAPE;
                    u64 far = us == WHITE ? 0xffffffff00000000ULL : 0x00000000ffffffffULL;
                    if (t == PAWN && ((far & bit(from)) || passed(from))) m |= FLAG_ADVANCE;
                }
            }
            list.push_back(m);
        };
        int dir = us == WHITE ? 8 : -8;
        auto onRank = [&](int sq, int white_rank) { return rankOf(sq) == (us == WHITE ? white_rank : 7 - white_rank); };
        auto pawnTargets = [&](int from) {
            std::vector<int> to;
            u64 caps = attacksFrom(from);
            for (int sq = 0; sq < 64; sq++) {
                if ((caps & bit(sq)) && type[sq] && colour[sq] == them) to.push_back(sq);
                if (sq == from + dir && !type[sq]) to.push_back(sq);
                if (sq == from + 2 * dir && onRank(from, 1) && !type[from + dir] && !type[sq]) to.push_back(sq);
            }
            return to;
        };
        for (int from = 0; from < 64; from++)
            if (type[from] == PAWN && colour[from] == us && onRank(from, 6))
                for (int to : pawnTargets(from))
                    for (int p : {QUEEN, ROOK, BISHOP, KNIGHT}) add(from, to, p, true);
        if (ep >= 0)
            for (int from = 0; from < 64; from++)
                if (type[from] == PAWN && colour[from] == us && (attacksFrom(from) & bit(ep))) add(from, ep, 0, true);
        for (int from = 0; from < 64; from++)
            if (type[from] == PAWN && colour[from] == us && !onRank(from, 6))
                for (int to : pawnTargets(from)) add(from, to, 0, false);
        for (int t = KNIGHT; t <= KING; t++)
            for (int from = 0; from < 64; from++)
                if (type[from] == t && colour[from] == us)
                    for (int to = 0; to < 64; to++)
                        if ((attacksFrom(from) & bit(to)) && !(type[to] && colour[to] == us)) add(from, to, 0, false);
        int k = kingOf(us);
        if (!(them_att & bit(k)) && (castling & bit(k))) {
            if ((castling & bit(k + 3)) && !type[k + 1] && !type[k + 2] && !(them_att & (bit(k + 1) | bit(k + 2))))
                add(k, k + 2, 0, true);
            if ((castling & bit(k - 4)) && !type[k - 1] && !type[k - 2] && !type[k - 3] &&
                !(them_att & (bit(k - 1) | bit(k - 2))))
                add(k, k - 2, 0, true);
        }
        return list;
    }
};

std::string listText(const std::vector<Move> &list) {
    std::string s;
    char buf[16];
    for (Move m : list) {
        std::snprintf(buf, sizeof buf, "%s:%x ", uci(m).c_str(), m >> 16);
        s += buf;
    }
    return s;
}

// Positions rich in checks, pins, promotions, en passant and castling.
const char *const RANDOM_GAME_STARTS[] = {
    START_FEN,
    KIWIPETE,
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "4k3/1P6/8/8/8/8/K7/8 w - - 0 1",
    "2r3k1/1P3pp1/8/3pP3/8/8/1p3PPP/R3K2R w KQ d6 0 1",
};

TEST(BoardMovegen, MatchesReferenceOnRandomGames) {
    std::mt19937 rng(20240611);
    int positions = 0;
    for (int game = 0; game < 48; game++) {
        ASSERT_TRUE(load(RANDOM_GAME_STARTS[game % (sizeof RANDOM_GAME_STARTS / sizeof *RANDOM_GAME_STARTS)]));
        for (int ply = 0; ply < 120; ply++) {
            RefBoard ref = RefBoard::fromCurrent();
            std::vector<Move> expected = ref.generate();
            std::vector<Move> all = legalMoves(GEN_ALL);
            ASSERT_EQ(listText(all), listText(expected)) << currentFen();

            std::vector<Move> noisy, captures;
            for (Move m : all) {
                bool castle = movePiece(m) == KING && std::abs(moveTo(m) - moveFrom(m)) == 2;
                if (castle) continue;
                if (m & ORDER_MASK) noisy.push_back(m);
                if (moveCaptured(m) || movePromotion(m)) captures.push_back(m);
            }
            ASSERT_EQ(listText(legalMoves(GEN_NOISY)), listText(noisy)) << currentFen();
            ASSERT_EQ(listText(legalMoves(GEN_CAPTURES)), listText(captures)) << currentFen();
            // The attacked squares computed on their own, as the
            // evaluation's bare-king guard reads them.
            for (int c = BLACK; c <= WHITE; c++)
                ASSERT_EQ(attackedSquares(c), curr_ply->attack[c][ATK_ALL]) << currentFen() << ", colour " << c;
            positions++;

            if (all.empty()) break;
            makeMove(all[rng() % all.size()]);
        }
    }
    EXPECT_GT(positions, 2000);
}

}  // namespace
