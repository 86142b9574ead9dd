// probeEndgame: bare kings, the three-piece rules, the WDL probe of four
// and more pieces; and the tables' answer at the root.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "board/position.h"
#include "search/endgame.h"
#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace {

// Sets plies[0] from a FEN as far as the endgame code reads it: pieces,
// king squares, occupancy, side to move, castling, en passant, half-move
// clock. The move list holds the legal moves of the tablebase generator.
void setPosition(const char *fen) {
    std::memset(&plies[0], 0, sizeof(Ply));
    curr_ply = &plies[0];
    ply_count = 0;
    TbPosition t = tbFromFen(fen);
    Ply *p = curr_ply;
    const u64 sets[7] = {0, t.pawns, t.knights, t.bishops, t.rooks, t.queens, t.kings};
    for (int c = BLACK; c <= WHITE; c++) {
        u64 colour = c == WHITE ? t.white : t.black;
        p->side[c].pieces[0] = colour;
        for (int type = PAWN; type <= KING; type++) p->side[c].pieces[type] = sets[type] & colour;
        p->side[c].king_sq = lsb(t.kings & colour);
    }
    p->occupancy = t.white | t.black;
    p->halfmove = t.halfmove;
    p->ep = t.ep ? bit(t.ep) : 0;
    const char *castling = std::strchr(std::strchr(fen, ' ') + 1, ' ') + 1;
    for (; *castling && *castling != ' '; castling++) {
        if (*castling == 'K') p->castling |= bit(E1) | bit(H1);
        if (*castling == 'Q') p->castling |= bit(E1) | bit(A1);
        if (*castling == 'k') p->castling |= bit(E8) | bit(H8);
        if (*castling == 'q') p->castling |= bit(E8) | bit(A8);
    }
    linkPly(p, t.turn ? WHITE : BLACK);

    TbMove list[TB_MAX_MOVES];
    TbMove *end = tbGenerateMoves(&t, list);
    // Listed backwards, so that the four promotions of a pawn come with the
    // queen last: only the promotion piece can pick the right one.
    for (TbMove *m = end - 1; m >= list; m--) {
        TbPosition next;
        if (!tbMakeMove(&next, &t, *m)) continue;
        int from = tbMoveFrom(*m), to = tbMoveTo(*m), promo = tbMovePromotion(*m);
        int type = (t.pawns & bit(from)) ? PAWN : (t.kings & bit(from)) ? KING : QUEEN;
        p->moves[p->generated++] = buildMove(from, to, type, 0, promo ? 6 - promo : 0);
    }
}

int endgameScore(const char *fen, bool *handled) {
    setPosition(fen);
    int score = 12345;
    *handled = probeEndgame(&score) != 0;
    return score;
}

struct ScoreCase {
    const char *what;
    const char *fen;
    bool handled;
    int score;
};

void runCases(const ScoreCase *cases, size_t n) {
    for (size_t i = 0; i < n; i++) {
        const ScoreCase &c = cases[i];
        bool handled = false;
        int score = endgameScore(c.fen, &handled);
        EXPECT_EQ(handled, c.handled) << c.what << ": " << c.fen;
        if (c.handled && handled) {
            EXPECT_EQ(score, c.score) << c.what << ": " << c.fen;
        }
    }
}

TEST(Endgame, BareKingsAndThreePieces) {
    initSyzygy("");
    const ScoreCase cases[] = {
        {"bare kings", "8/8/8/3k4/8/8/8/4K3 w - - 37 1", true, 0},
        {"bishop, white to move", "8/8/8/3k4/8/8/8/2B1K3 w - - 0 1", true, 0},
        {"bishop, black to move", "8/8/8/3k4/8/8/8/2B1K3 b - - 0 1", true, 0},
        {"knight", "8/8/8/3k4/8/8/8/1n2K3 w - - 0 1", true, 0},
        {"rook hangs to the weak king", "8/8/8/8/8/8/1kR5/7K b - - 0 1", true, 0},
        {"defended rook", "8/8/8/8/8/8/1kR5/3K4 b - - 0 1", true, -13000 - 500 + 10 * (2 - 0)},
        {"rook, strong side to move", "k7/8/8/8/4K3/8/8/7R w - - 0 1", true, 13000 + 500 + 10 * (6 - 0)},
        {"rook, weak side to move", "k7/8/8/8/4K3/8/8/7R b - - 0 1", true, -13000 - 500 + 10 * (0 - 6)},
        {"queen for black", "8/8/8/3q4/8/8/8/K6k b - - 0 1", true, 13000 + 900 + 10 * (0 - 0)},
        {"drawn rook pawn, white to move", "k7/8/8/8/P7/1K6/8/8 w - - 0 1", true, 0},
        {"drawn rook pawn, black to move", "k7/8/8/8/P7/1K6/8/8 b - - 0 1", true, 0},
        {"won pawn, strong side to move", "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", true, 13000 + 10 * 4 - 1 + 100},
        {"won pawn, weak side to move", "4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", true, -13000 - (10 * 4 - 1) - 100},
        {"black pawn, mirrored", "8/8/8/8/4p3/4k3/8/4K3 b - - 0 1", true, 13000 + 10 * 4 - 1 + 100},
        {"black pawn, weak side to move", "8/8/8/8/4p3/4k3/8/4K3 w - - 0 1", true, -13000 - (10 * 4 - 1) - 100},
        {"pawn hangs", "8/8/8/8/8/8/kP6/7K b - - 0 1", true, 0},
        {"four pieces without tables", "8/8/8/3k4/8/8/8/KQ5R w - - 0 1", false, 0},
        // A lone king without a square to go to is mated or stalemated: the
        // search has to see that, a rule score would call both a plain win.
        {"queen mates", "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", false, 0},
        {"queen stalemates", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", false, 0},
        {"rook mates along the rank", "R5k1/8/6K1/8/8/8/8/8 b - - 0 1", false, 0},
        {"rook checks, the king steps aside", "R6k/8/8/8/8/8/8/6K1 b - - 0 1", true, -13000 - 500 + 10 * (0 - 0)},
        {"king boxed in but the other side to move", "7k/5Q2/6K1/8/8/8/8/8 w - - 0 1", true, 13000 + 900 + 10 * (2 - 0)},
    };
    runCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(Endgame, FourPiecesProbeTheTables) {
    initSyzygy(tbTestDir().c_str());
    ASSERT_EQ(max_tb_pieces, 4);
    // KQvKR, white to move wins: 10000 + 900 - 500 + centrality(c3) - centrality(e6).
    const ScoreCase cases[] = {
        {"won", "8/8/4k3/8/8/2K5/8/Q6r w - - 0 1", true, 10000 + 400 + 5 - 5},
        {"lost", "8/8/4k3/8/8/2K5/Q7/7r b - - 0 1", true, -10000 - 400 + 5 - 5},
        {"drawn", "8/8/4k3/8/8/2K5/R7/7r w - - 0 1", true, 0},
        {"half-move clock 1", "8/8/4k3/8/8/2K5/8/Q6r w - - 1 1", false, 0},
        {"castling right", "r3k3/8/8/8/8/2K5/8/Q7 w q - 0 1", false, 0},
        {"en passant square", "8/8/8/3pP3/8/2K5/8/k7 w - d6 0 1", false, 0},
        {"five pieces", "8/8/4k3/8/8/2K5/8/QR5r w - - 0 1", false, 0},
    };
    runCases(cases, sizeof cases / sizeof cases[0]);

    // Probing disabled by the front end after a failed initialisation.
    initSyzygy("<empty>");
    bool handled = true;
    endgameScore("8/8/4k3/8/8/2K5/8/Q6r w - - 0 1", &handled);
    EXPECT_FALSE(handled);
    initSyzygy("");
}

// A cursed win or blessed loss (decided, but not within the fifty-move rule)
// is left to the search. Five-piece tables beside the repository.
TEST(Endgame, CursedWinAndBlessedLossAreNotScored) {
    std::string shared = tbSharedDir();
    initSyzygy(shared.c_str());
    if (max_tb_pieces < 5) {
        initSyzygy("");
        GTEST_SKIP() << "no five-piece tables in " << shared;
    }
    struct Case {
        const char *fen;
        int wdl;
    } cases[] = {{"8/8/8/3R4/7r/4K3/6k1/1B6 w - - 0 1", TB_CURSED_WIN},
                 {"6n1/8/6N1/8/6K1/2B5/8/7k b - - 0 1", TB_BLESSED_LOSS}};
    for (const Case &c : cases) {
        TbPosition p = tbFromFen(c.fen);
        int success = 0;
        EXPECT_EQ(probeWdl(&p, &success), c.wdl) << c.fen;
        bool handled = true;
        endgameScore(c.fen, &handled);
        EXPECT_FALSE(handled) << c.fen;
    }
    initSyzygy("");
}

TEST(Endgame, RootAnswer) {
    initSyzygy(tbTestDir().c_str());
    struct RootCase {
        const char *what;
        const char *fen;
        bool answered;
        const char *move;   // from and to squares, promotion letter
        int score;
    } cases[] = {
        {"mate in two", "k7/8/1K6/8/8/8/8/1Q6 w - - 0 1", true, "b6c6", 10000 - 3},
        {"win turned cursed by the clock", "k7/8/1K6/8/8/8/8/1Q6 w - - 98 1", true, "b6c6", 5000 - 3},
        {"loss", "8/8/8/8/8/8/7k/KQ6 b - - 0 1", true, "h2g2", 16 - 10000},
        {"promotion to a queen", "8/3P4/8/8/8/8/k7/2K5 w - - 0 1", true, "d7d8q", 10000 - 1},
        {"checkmated", "k7/1Q6/1K6/8/8/8/8/8 b - - 0 1", false, "", 0},
        {"stalemated", "k7/8/1Q6/8/8/8/8/2K5 b - - 0 1", false, "", 0},
        {"castling right", "r3k3/8/8/8/8/2K5/8/Q7 b q - 0 1", false, "", 0},
        {"two pieces", "8/8/8/3k4/8/8/8/4K3 w - - 0 1", false, "", 0},
    };
    for (const RootCase &c : cases) {
        setPosition(c.fen);
        Move move = 0;
        int score = 0;
        bool answered = probeRootTablebase(&move, &score);
        EXPECT_EQ(answered, c.answered) << c.what;
        if (!answered || !c.answered) continue;
        char text[8];
        int n = 0;
        text[n++] = (char)('a' + fileOf(moveFrom(move)));
        text[n++] = (char)('1' + rankOf(moveFrom(move)));
        text[n++] = (char)('a' + fileOf(moveTo(move)));
        text[n++] = (char)('1' + rankOf(moveTo(move)));
        if (movePromotion(move)) text[n++] = "??nbrq?"[movePromotion(move)];
        text[n] = 0;
        EXPECT_STREQ(text, c.move) << c.what;
        EXPECT_EQ(score, c.score) << c.what;
    }
    initSyzygy("");
}

}  // namespace

#include "board/fen.h"
#include "board/movegen.h"

namespace {

// The same answers on positions set up by the board code, with its own
// legal move list (promotions listed by the board's generator).
TEST(Endgame, OnBoardPositions) {
    initSyzygy(tbTestDir().c_str());
    struct Case {
        const char *fen;
        const char *move;
        int score;
    } cases[] = {
        {"8/3P4/8/8/8/8/k7/2K5 w - - 0 1", "d7d8q", 10000 - 1},
        {"k7/8/1K6/8/8/8/8/1Q6 w - - 0 1", "b6c6", 10000 - 3},
        {"8/8/8/8/3pP3/8/8/K6k b - e3 0 1", "d4e3", 10000 - 1},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(loadFen(c.fen)) << c.fen;
        TbPosition converted;
        currentTbPosition(&converted);
        TbPosition expected = tbFromFen(c.fen);
        EXPECT_EQ(tbToFen(converted), tbToFen(expected)) << c.fen;
        updateAttacks();
        generateMoves(GEN_ALL);
        Move move = 0;
        int score = 0;
        ASSERT_TRUE(probeRootTablebase(&move, &score)) << c.fen;
        char text[8];
        moveText(move, text);
        EXPECT_STREQ(text, c.move) << c.fen;
        EXPECT_EQ(score, c.score) << c.fen;
    }
    // Endgame scores on a board position: KQvKR after a capture.
    ASSERT_TRUE(loadFen("8/8/4k3/8/8/2K5/8/Q6r w - - 0 1"));
    int score = 0;
    EXPECT_EQ(probeEndgame(&score), 1);
    EXPECT_EQ(score, 10000 + 400);
    initSyzygy("");
}

}  // namespace
