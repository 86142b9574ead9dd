// Rules of the search that need no deep search: the limits of "go", the move
// orders, the exchange test, the table-move test of quiescence, the draw
// test, and a few node results.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/makemove.h"
#include "search/ordering.h"
#include "search/pvs.h"
#include "search/quiescence.h"
#include "search/timecontrol.h"
#include "unit/search_support.h"

using namespace search_test;
using board_test::findMove;
using board_test::uci;

namespace {

TEST(GoLimits, EveryFormOfTheCommand) {
    struct Case {
        const char *command;
        bool white;
        u32 limit_type;
        int max_depth;
        u64 time_left, time_budget;
    };
    const u64 MAX = UINT64_MAX;
    const Case cases[] = {
        {"go", true, LIMIT_DEPTH, 10, 0, 0},
        {"go infinite", true, LIMIT_TIME, 0, 0, 1000000000},
        {"go depth 5", true, LIMIT_DEPTH, 5, 0, 0},
        {"go depth 0x10", true, LIMIT_DEPTH, 16, 0, 0},
        {"go depth 010", true, LIMIT_DEPTH, 8, 0, 0},
        {"go depth +7", true, LIMIT_DEPTH, 7, 0, 0},
        {"go depth 0", true, LIMIT_DEPTH, 1, 0, 0},
        {"go depth -3", true, LIMIT_DEPTH, 1, 0, 0},
        {"go depth 64", true, LIMIT_DEPTH, 63, 0, 0},
        {"go depth 99999999999999999999", true, LIMIT_DEPTH, 63, 0, 0},
        // Every limit of a line holds, whatever form comes first.
        {"go depth 5 movetime 100", true, LIMIT_TIME, 5, 0, 100},
        {"go movetime 5000 depth 3", true, LIMIT_TIME, 3, 0, 5000},
        {"go depth 4 wtime 60000", true, LIMIT_CLOCK, 4, 59000, 1450},
        {"go wtime 60000 depth 4 movetime 500", true, LIMIT_CLOCK, 4, 59000, 500},
        {"go movetime 5000 wtime 60000", true, LIMIT_CLOCK, 0, 59000, 1450},
        {"go depth 4 btime 60000", true, LIMIT_DEPTH, 4, 0, 0},  // not the mover's clock
        {"go movetime -5", true, LIMIT_TIME, 0, 0, 0},
        {"go movetime 99999999999999999999999", true, LIMIT_TIME, 0, 0, MAX},
        // Unreadable values fall through to the clock case.
        {"go depth x", true, LIMIT_CLOCK, 0, 0, 0},
        {"go movetime x", true, LIMIT_CLOCK, 0, 0, 0},
        // The words of the full protocol: "infinite" with limits, "nodes",
        // "mate", "ponder" (endless until "ponderhit"); unknown words skipped.
        {"go infinite depth 5", true, LIMIT_TIME, 5, 0, 1000000000},
        {"go depth 5 infinite", true, LIMIT_TIME, 5, 0, 1000000000},
        {"go nodes 5000", true, LIMIT_DEPTH, 0, 0, 0},
        {"go mate 3 movetime 200", true, LIMIT_TIME, 0, 0, 200},
        {"go ponder", true, LIMIT_TIME, 10, 0, 1000000000},
        {"go ponder wtime 60000 btime 60000", true, LIMIT_TIME, 0, 59000, 1000000000},
        {"go xyzzy nodes 10 depth 2 plugh", true, LIMIT_DEPTH, 2, 0, 0},
        // The clock of the side to move, less one second, shared over 40 moves.
        {"go wtime 60000 btime 60000", true, LIMIT_CLOCK, 0, 59000, 1450},
        {"go wtime 60000 btime 60000", false, LIMIT_CLOCK, 0, 59000, 1450},
        {"go btime 30000 wtime 20000", false, LIMIT_CLOCK, 0, 29000, 700},
        {"go btime 30000 wtime 20000", true, LIMIT_CLOCK, 0, 19000, 450},
        {"go wtime 61000 binc 5000", true, LIMIT_CLOCK, 0, 60000, 1475},
        {"go wtime 60000 btime 60000 winc 1000 binc 1000 movestogo 0", false, LIMIT_CLOCK, 0, 59000, 59975},
        {"go wtime 10000 movestogo 0", true, LIMIT_CLOCK, 0, 9000, 8975},
        {"go movestogo 10 wtime 11000", true, LIMIT_CLOCK, 0, 10000, 975},
        {"go wtime 11000 movestogo x", true, LIMIT_CLOCK, 0, 10000, 225},
        {"go wtime 900 btime 900", true, LIMIT_CLOCK, 0, 0, 0},
        {"go wtime 1025 winc 50", true, LIMIT_CLOCK, 0, 25, 25},
        {"go wtime 1000 winc 25", true, LIMIT_CLOCK, 0, 0, 0},
        // The increment comes after the move: the budget never exceeds the
        // clock less the 25 ms overhead.
        {"go wtime 500 winc 2000", true, LIMIT_CLOCK, 0, 0, 475},
        {"go wtime 300 btime 300 winc 2000 binc 2000", true, LIMIT_CLOCK, 0, 0, 275},
        {"go wtime 50 btime 50 winc 400 binc 400", false, LIMIT_CLOCK, 0, 0, 25},
        {"go wtime 1100 btime 1 winc 2000 binc 2000 movestogo 1", false, LIMIT_CLOCK, 0, 0, 0},
        {"go wtime 1100 btime 1 winc 2000 binc 2000 movestogo 1", true, LIMIT_CLOCK, 0, 100, 1075},
        {"go wtime 25 winc 1000", true, LIMIT_CLOCK, 0, 0, 0},
        {"go wtime 26 winc 1000", true, LIMIT_CLOCK, 0, 0, 1},
        // Negative values are 0, not huge unsigned numbers.
        {"go wtime -5000 btime 60000", true, LIMIT_CLOCK, 0, 0, 0},
        {"go wtime 60000 winc -1000", true, LIMIT_CLOCK, 0, 59000, 1450},
        // A negative movestogo counts as none given (40).
        {"go wtime 60000 movestogo -3", true, LIMIT_CLOCK, 0, 59000, 1450},
        // No wrap-round with absurd values.
        {"go wtime 18446744073709551615 winc 18446744073709551615", true, LIMIT_CLOCK, 0, MAX - 1000, MAX - 25},
    };
    for (const Case &c : cases) {
        std::memset(&search, 0, sizeof search);
        setGoLimits(c.command, c.white);
        EXPECT_EQ(search.limit_type, c.limit_type) << c.command;
        EXPECT_EQ(search.max_depth, c.max_depth) << c.command;
        EXPECT_EQ(search.time_left, c.time_left) << c.command;
        EXPECT_EQ(search.time_budget, c.time_budget) << c.command;
        EXPECT_EQ(search.infinite, c.time_budget == INFINITE_BUDGET_MS ? 1u : 0u) << c.command;
    }
}

// The limits besides depth and time, and what "ponderhit" puts in force.
TEST(GoLimits, NodesMateAndPonder) {
    std::memset(&search, 0, sizeof search);
    setGoLimits("go nodes 300000 mate 6", true);
    EXPECT_EQ(search.node_limit, 300000u);
    EXPECT_EQ(search.mate_limit, 6);
    EXPECT_EQ(search.pondering, 0u);
    // Not a count: left out.
    setGoLimits("go nodes -5 mate 0 depth 3", true);
    EXPECT_EQ(search.node_limit, 0u);
    EXPECT_EQ(search.mate_limit, 0);
    EXPECT_EQ(search.max_depth, 3);

    setGoLimits("go ponder wtime 60000 btime 1000", true);
    EXPECT_EQ(search.pondering, 1u);
    EXPECT_EQ(search.infinite, 1u);
    search.start_time = searchClock() - 700;  // pondered for 700 ms
    ponderHit();
    EXPECT_EQ(search.pondering, 0u);
    EXPECT_EQ(search.infinite, 0u);
    EXPECT_EQ(search.limit_type, LIMIT_CLOCK);
    EXPECT_EQ(search.time_budget, 1450u);
    EXPECT_GE(search.time_origin, 700u);  // the budget counts from the ponderhit
    EXPECT_EQ(search.stop, 0u);

    // A clock with nothing on it answers at the ponderhit.
    std::memset(&search, 0, sizeof search);
    setGoLimits("go ponder wtime 20 btime 20", true);
    ponderHit();
    EXPECT_EQ(search.stop, 1u);
}

std::vector<std::string> innerOrder() {
    std::vector<std::string> order;
    for (int i = 0; i < curr_ply->generated; i++) order.push_back(uci(pickNextMove(i)));
    return order;
}

TEST(Ordering, FlagsComeFirstInTheInnerOrder) {
    freshSearch();
    // The e4 pawn (passed) takes a queen or a rook or advances; the rook
    // checks quietly from b8.
    setUp("k7/8/8/3q1r2/4P3/8/8/KR6 w - - 0 1");
    std::vector<std::string> order = innerOrder();
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(order[0], "e4d5");
    EXPECT_EQ(order[1], "e4f5");
    EXPECT_EQ(order[2], "b1b8");  // the quiet check, above every other quiet move
    EXPECT_EQ(order[3], "e4e5");  // the advance of a passed pawn
    for (size_t i = 4; i < order.size(); i++) EXPECT_EQ(curr_ply->moves[i] & ORDER_MASK, 0u) << order[i];
}

TEST(Ordering, HistoryThenCentralityThenTheMoveWord) {
    freshSearch();
    setUp("4k3/8/8/8/8/8/R6R/4K3 w - - 0 1");
    Move a2a1 = findMove("a2a1"), h2h1 = findMove("h2h1"), h2h3 = findMove("h2h3");
    ASSERT_TRUE(a2a1 && h2h1 && h2h3);
    // Equal centrality, equal ranks: the h-file first for white.
    EXPECT_TRUE(innerOrderBefore(h2h1, a2a1));
    EXPECT_FALSE(innerOrderBefore(a2a1, h2h1));
    // The more central target first.
    EXPECT_TRUE(innerOrderBefore(h2h3, h2h1));
    // History outweighs centrality among quiet moves.
    historyOf(a2a1) = 1;
    EXPECT_TRUE(innerOrderBefore(a2a1, h2h3));
    historyOf(a2a1) = -1;
    EXPECT_TRUE(innerOrderBefore(h2h1, a2a1));

    // From the higher rank first for white, from the lower rank for black
    // (the same squares from each side's own view).
    freshSearch();
    setUp("4k3/R7/8/8/8/8/R7/4K3 w - - 0 1");
    EXPECT_TRUE(innerOrderBefore(findMove("a7a8"), findMove("a2a1")));
    setUp("4k3/r7/8/8/8/8/r7/4K3 b - - 0 1");
    EXPECT_TRUE(innerOrderBefore(findMove("a2a1"), findMove("a7a8")));
}

// pickNextMove, with and without the node's kept keys, against a plain
// selection by innerOrderBefore, on lists with every kind of flag, history
// values that tie, differ in sign or are extreme, and history that changes
// between two picks (as the searches below a node change it, raising
// history_version).
TEST(Ordering, SelectionAgreesWithThePairwiseOrder) {
    const char *const fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    };
    const i32 extremes[] = {0, 1, -1, 2147483647, -2147483647 - 1, 5, -5};
    for (int round = 0; round < 200; round++) {
        for (bool keyed : {false, true}) {
            SCOPED_TRACE(std::string(fens[round % 4]) + (keyed ? ", kept keys" : ", plain"));
            std::mt19937 rng(round);
            freshSearch();
            setUp(fens[round % 4]);
            const int colour = curr_ply->us->info->colour;
            auto scramble = [&] {
                for (auto &row : history[colour])
                    for (i32 &h : row) h = round % 2 ? extremes[rng() % 7] : (i32)(rng() % 7) - 3;
                history_version++;
            };
            scramble();
            if (round % 3 == 0) curr_ply->moves[rng() % curr_ply->generated] |= FLAG_HASH;
            std::vector<Move> expected(curr_ply->moves, curr_ply->moves + curr_ply->generated);
            MoveKeys keys;
            for (int i = 0; i < curr_ply->generated; i++) {
                int best = i;
                for (int j = i + 1; j < curr_ply->generated; j++)
                    if (innerOrderBefore(expected[j], expected[best])) best = j;
                std::swap(expected[i], expected[best]);
                const Move picked = keyed ? pickNextMove(i, keys) : pickNextMove(i);
                ASSERT_EQ(uci(picked), uci(expected[i])) << "pick " << i;
                ASSERT_EQ(picked, expected[i]);
                if (rng() % 4 == 0) scramble();
            }
            EXPECT_EQ(std::vector<Move>(curr_ply->moves, curr_ply->moves + curr_ply->generated), expected);
        }
    }
}

TEST(Ordering, RootOrderAndSimpleKey) {
    freshSearch();
    setUp("7k/8/8/3rp3/2Q1P3/8/8/K7 w - - 0 1");
    // Simple key (quiescence, ProbCut): the least valuable capturer first.
    std::vector<std::string> simple;
    for (int i = 0; i < curr_ply->generated; i++) simple.push_back(uci(pickSimpleKey(i)));
    EXPECT_EQ(simple[0], "e4d5");
    EXPECT_EQ(simple[1], "c4d5");
    // The inner order asks centrality first: the queen's capture goes to
    // the same square from a more central one, the pawn's from e4 (6) against
    // c4 (5): the queen wins.
    setUp("7k/8/8/3rp3/2Q1P3/8/8/K7 w - - 0 1");
    std::vector<std::string> inner = innerOrder();
    EXPECT_EQ(inner[0], "c4d5");
    EXPECT_EQ(inner[1], "e4d5");

    // Root order: the table move, then the nodes of the last search.
    setUp("7k/8/8/3rp3/2Q1P3/8/8/K7 w - - 0 1");
    Move quiet = findMove("a1b1");
    Move hash = findMove("c4c3");
    root_nodes[quiet & 0xfff] = 1000;
    root_nodes[findMove("c4d5") & 0xfff] = 10;
    for (int i = 0; i < curr_ply->generated; i++)
        if (curr_ply->moves[i] == hash) curr_ply->moves[i] |= FLAG_HASH;
    std::vector<std::string> root;
    for (int i = 0; i < curr_ply->generated; i++) {
        Move m = pickRootMove(i);
        root.push_back(uci(m & ~FLAG_HASH));
    }
    EXPECT_EQ(root[0], "c4c3");
    EXPECT_EQ(root[1], "a1b1");
    EXPECT_EQ(root[2], "c4d5");
    EXPECT_EQ(root[3], "e4d5");
}

TEST(Ordering, HistoryAfterACutoff) {
    freshSearch();
    setUp("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    // Tried in this order: a checking move, two quiet moves, then the quiet
    // move that cuts off at remaining depth 3.
    const Move check = findMove("a1a8"), quiet1 = findMove("a1a2"), quiet2 = findMove("h1h2"),
               cut = findMove("h1h3");
    ASSERT_NE(check & FLAG_CHECK, 0u);
    ASSERT_EQ((quiet1 | quiet2 | cut) & HISTORY_EXCLUDED, 0u);
    Move *moves = curr_ply->moves;
    moves[0] = check;
    moves[1] = quiet1 | FLAG_HASH;  // the table mark does not keep a move out
    moves[2] = quiet2;
    moves[3] = cut;
    historyCutoff(3, 3);
    EXPECT_EQ(historyOf(cut), 9);
    EXPECT_EQ(historyOf(quiet1), -3);
    EXPECT_EQ(historyOf(quiet2), -3);
    EXPECT_EQ(historyOf(check), 0);
    EXPECT_EQ(history[BLACK][moveMoved(cut)][moveTo(cut)], 0);  // the other colour's table
    // A cut-off by the checking move: it keeps its value, nothing before it.
    moves[0] = quiet2;
    moves[1] = check;
    historyCutoff(1, 2);
    EXPECT_EQ(historyOf(check), 0);
    EXPECT_EQ(historyOf(quiet2), -5);
}

TEST(NodeResults, TableCutoffNeedsTheDepth) {
    requireNetwork();
    freshSearch();
    setUp("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    root_pieces = 32;
    const u64 key = curr_ply->key;
    // A lower bound of 500 at depth 3: a null-window node of remaining depth
    // 3 (ply 2, horizon 5) with beta 1 takes it at once.
    ttStore(key, 32, 3, 0, 1, 0, 500);
    search.nodes = 0;
    EXPECT_EQ(alphaBeta(2, 5, 0, 1, 0), 500);
    EXPECT_EQ(search.nodes, 1u);
    // Remaining depth 4: the entry is too shallow.
    search.nodes = 0;
    alphaBeta(2, 6, 0, 1, 0);
    EXPECT_GT(search.nodes, 1u);
    // A PV node never takes it.
    freshSearch();
    setUp("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    ttStore(key, 32, 3, 0, 1, 0, 500);
    search.nodes = 0;
    alphaBeta(2, 5, -100, 100, 0);
    EXPECT_GT(search.nodes, 1u);
}

TEST(ExchangeTest, Cases) {
    struct Case {
        const char *name;
        const char *fen;
        const char *move;
        bool loses;
    };
    const Case cases[] = {
        {"queen takes a pawn defended by a pawn", "4k3/8/4p3/3p4/8/8/3Q4/4K3 w - - 0 1", "d2d5", true},
        {"rook takes a knight defended by a pawn", "6k1/8/2p5/3n4/8/8/8/3RK3 w - - 0 1", "d1d5", true},
        {"rook takes an undefended knight", "6k1/8/8/3n4/8/8/8/3RK3 w - - 0 1", "d1d5", false},
        {"rook takes a defended knight next to a king", "4k3/4n3/8/8/8/8/8/4RK2 w - - 0 1", "e1e7", false},
        {"queen takes a rook, rook against rook behind", "3r2k1/8/8/3r4/8/8/3Q4/3RK3 w - - 0 1", "d2d5", false},
        {"queen takes a rook defended by a rook", "3r2k1/8/8/3r4/8/8/3Q4/4K3 w - - 0 1", "d2d5", true},
        {"queen takes a knight, rook behind is not enough", "3r2k1/8/8/3n4/8/8/3Q4/3RK3 w - - 0 1", "d2d5", true},
        {"the defending pawn is pinned", "4k3/8/4p3/3p4/8/8/3Q4/K3R3 w - - 0 1", "d2d5", false},
        {"an en passant square is set", "4k3/8/4p3/3p4/6Pp/8/3Q4/4K3 b - g3 0 1", "h4g3", false},
        {"a pawn defends a back-rank square", "3r2k1/4P3/8/8/8/8/8/3QK3 w - - 0 1", "d1d8", false},
        {"black queen takes a pawn defended by a pawn", "4k3/3q4/8/3P4/4P3/8/8/4K3 b - - 0 1", "d7d5", true},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(board_test::load(c.fen)) << c.name;
        Move m = findMove(c.move);
        ASSERT_TRUE(m) << c.name;
        updateAttacks();
        EXPECT_EQ(see_sign(m), c.loses) << c.name;
    }
}

TEST(TableMoveTest, OnlyMovesThatCanBePlayedHere) {
    struct Case {
        const char *name;
        const char *fen;
        Move move;
        bool legal;
    };
    const Case cases[] = {
        {"pawn push", START_FEN, buildMove(E2, E3, PAWN), true},
        {"double push", START_FEN, buildMove(E2, E4, PAWN), true},
        {"double push over a piece", "4k3/8/8/8/8/4n3/4P3/4K3 w - - 0 1", buildMove(E2, E4, PAWN), false},
        {"knight jump", START_FEN, buildMove(G1, F3, KNIGHT), true},
        {"wrong piece on the square", START_FEN, buildMove(G1, F3, BISHOP), false},
        {"the other side's piece", START_FEN, buildMove(G8, F6, KNIGHT), false},
        {"blocked bishop", START_FEN, buildMove(F1, C4, BISHOP), false},
        {"capture of the piece that is there", "4k3/8/8/3n4/8/8/8/3RK3 w - - 0 1", buildMove(D1, D5, ROOK, KNIGHT), true},
        {"capture of another type", "4k3/8/8/3n4/8/8/8/3RK3 w - - 0 1", buildMove(D1, D5, ROOK, BISHOP), false},
        {"quiet move onto a piece", "4k3/8/8/3n4/8/8/8/3RK3 w - - 0 1", buildMove(D1, D5, ROOK), false},
        {"pawn capture onto an empty square", START_FEN, buildMove(E2, D3, PAWN), false},
        {"en passant never passes", "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", buildMove(E5, D6, PAWN, PAWN), false},
        {"castling never passes", "4k3/8/8/8/8/8/8/4K2R w K - 0 1", buildMove(E1, G1, KING), false},
        {"pinned piece leaves the line", "4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", buildMove(E2, C3, KNIGHT), false},
        {"king steps into check", "4k3/4r3/8/8/8/8/8/3K4 w - - 0 1", buildMove(D1, E1, KING), false},
        {"king next to the other king", "8/8/8/8/8/2k5/8/K7 w - - 0 1", buildMove(A1, B2, KING), false},
        {"capture of the checking piece", "4k3/8/8/8/8/8/4r3/3QK3 w - - 0 1", buildMove(D1, E2, QUEEN, ROOK), true},
        {"promotion", "4k3/P7/8/8/8/8/8/4K3 w - - 0 1", buildMove(A7, A8, PAWN, 0, QUEEN), true},
        {"pawn to the last rank without promotion", "4k3/P7/8/8/8/8/8/4K3 w - - 0 1", buildMove(A7, A8, PAWN), false},
        {"no mover", START_FEN, (Move)(E2 << MOVE_SHIFT_FROM | E3), false},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(board_test::load(c.fen)) << c.name;
        updateAttacks();
        EXPECT_EQ(tableMoveLegal(c.move), c.legal) << c.name;
    }
}

// Plays UCI moves one by one with makeMove (as the search does).
void playOnStack(const std::vector<const char *> &moves) {
    for (const char *text : moves) {
        Move m = findMove(text);
        ASSERT_TRUE(m) << text;
        makeMove(m);
    }
}

TEST(Draw, Rules) {
    const std::vector<const char *> knights = {"g1f3", "g8f6", "f3g1", "f6g8"};
    // Twice the same position in the game: not yet a draw.
    ASSERT_TRUE(board_test::load(START_FEN));
    ASSERT_TRUE(board_test::captureStdout([] { playMoves("g1f3 g8f6 f3g1 f6g8"); }).empty());
    EXPECT_FALSE(isDraw());
    // The third occurrence, on the search path over the game history.
    playOnStack(knights);
    EXPECT_TRUE(isDraw());
    // Three times in the game alone.
    ASSERT_TRUE(board_test::load(START_FEN));
    board_test::captureStdout([] { playMoves("g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8"); });
    EXPECT_TRUE(isDraw());
    // Three times on the search path alone.
    ASSERT_TRUE(board_test::load(START_FEN));
    playOnStack(knights);
    playOnStack(knights);
    EXPECT_TRUE(isDraw());
    // A pawn move in between cuts the history.
    ASSERT_TRUE(board_test::load(START_FEN));
    playOnStack(knights);
    playOnStack({"e2e3", "e7e6"});
    playOnStack(knights);
    EXPECT_FALSE(isDraw());
    playOnStack(knights);
    EXPECT_TRUE(isDraw());

    struct Case {
        const char *fen;
        bool draw;
    };
    const Case cases[] = {
        {"8/8/8/4k3/8/8/8/4K3 w - - 0 1", true},
        {"8/8/8/4k3/8/8/8/4KN2 w - - 0 1", false},
        {"8/8/8/4k3/8/8/8/R3K3 w - - 100 80", true},
        {"8/8/8/4k3/8/8/8/R3K3 w - - 99 80", false},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(board_test::load(c.fen));
        EXPECT_EQ(isDraw(), c.draw) << c.fen;
    }
}

TEST(NodeResults, EdgesOfTheSearch) {
    requireNetwork();
    freshSearch();

    // Quiescence beyond ply 63 returns alpha and counts the node.
    setUp(START_FEN);
    EXPECT_EQ(quiescence(64, 60, -5, 7, 0), -5);
    EXPECT_EQ(search.nodes, 1u);

    // Mated in quiescence (in check, no move) and in alphaBeta.
    setUp("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(quiescence(3, 2, -INF, INF, FLAG_CHECK), 3 - MATE);
    EXPECT_EQ(alphaBeta(2, 4, -INF, INF, FLAG_CHECK), 2 - MATE);
    // Stalemate is 0.
    setUp("7k/5Q2/8/8/8/8/P7/6K1 b - - 0 1");
    EXPECT_EQ(alphaBeta(1, 3, -INF, INF, 0), 0);

    // Mate in one: the node scores 30000 - (ply + 1).
    freshSearch();
    setUp("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    int score = 0;
    std::string line = captureStdout([&] { score = alphaBeta(0, 1, -INF, INF, 0); });
    EXPECT_EQ(score, MATE - 1);
    const std::string head = "info depth 0 seldepth 1 score mate 1 pv a1a8 time ";
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(uci(search.bestmove), "a1a8");
}

TEST(PrincipalVariation, OnlyLegalTableMovesArePlayed) {
    freshSearch();
    setUp(START_FEN);
    Move e2e4 = findMove("e2e4");
    makeMove(e2e4);
    u64 after = curr_ply->key;
    Move e7e5 = findMove("e7e5");
    undoMove();
    // A legal move behind e2e4 is printed; the line ends where the table ends.
    ttStore(after, 32, 1, -1, 1, e7e5, 0);
    EXPECT_EQ(captureStdout([&] { printPv(e2e4); }), "e2e4 e7e5 ");
    // A move that cannot be played there (a key collision) ends the line.
    ttStore(after, 32, 1, -1, 1, e2e4, 0);
    EXPECT_EQ(captureStdout([&] { printPv(e2e4); }), "e2e4 ");
    ttStore(after, 32, 1, -1, 1, buildMove(E7, E5, KNIGHT), 0);
    EXPECT_EQ(captureStdout([&] { printPv(e2e4); }), "e2e4 ");
    // The walk leaves the stack as it found it.
    EXPECT_EQ(ply_count, 0);
    EXPECT_EQ(curr_ply, &plies[0]);
}

TEST(PrincipalVariation, ACycleEndsAtTheThirdOccurrence) {
    freshSearch();
    setUp(START_FEN);
    // Knights out and back for ever, as far as the table says.
    const char *cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    Move first = findMove(cycle[0]);
    for (int i = 0; i < 4; i++) {
        Move m = findMove(cycle[i]);
        makeMove(m);
        updateAttacks();
        generateMoves(GEN_ALL);
        ttStore(curr_ply->key, 32, 1, -1, 1, findMove(cycle[(i + 1) % 4]), 0);
    }
    for (int i = 0; i < 4; i++) undoMove();
    std::string line = captureStdout([&] { printPv(first); });
    EXPECT_EQ(line, "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8 ");
    EXPECT_EQ(ply_count, 0);
}

// A game of the given length without a draw on the way: no repeated position,
// never fifty moves without a capture or pawn move, never bare kings, never
// a position without moves. Played from the start position by a seeded
// random walk; the moves are returned and the stack is back at the start.
std::vector<Move> longGameWithoutDraws(size_t length) {
    std::mt19937 random(12);
    std::set<u64> seen = {curr_ply->key};
    std::vector<Move> game;
    while (game.size() < length) {
        updateAttacks();
        generateMoves(GEN_ALL);
        std::vector<Move> pawn_moves, captures, piece_moves;
        for (int i = 0; i < curr_ply->generated; i++) {
            Move m = curr_ply->moves[i];
            makeMove(m);
            updateAttacks();
            generateMoves(GEN_ALL);
            bool fine = !seen.count(curr_ply->key) && curr_ply->generated > 0 && curr_ply->halfmove < 90 &&
                        popCount(curr_ply->occupancy) > 6;
            undoMove();
            if (!fine) continue;
            (moveCaptured(m) ? captures : movePiece(m) == PAWN ? pawn_moves : piece_moves).push_back(m);
        }
        // Mostly piece moves; a pawn move now and then, and whenever the
        // fifty-move count grows long; captures only when nothing else will do.
        const bool reset = curr_ply->halfmove > 60 || random() % 16 == 0;
        const std::vector<Move> &from = reset && !pawn_moves.empty() ? pawn_moves
                                        : !piece_moves.empty() && !(reset && !captures.empty()) ? piece_moves
                                        : !pawn_moves.empty() ? pawn_moves
                                                              : captures;
        if (from.empty()) break;
        Move m = from[random() % from.size()];
        makeMove(m);
        seen.insert(curr_ply->key);
        game.push_back(m);
    }
    for (size_t i = 0; i < game.size(); i++) undoMove();
    // makeMove cleared nothing below: restore the list of the root.
    updateAttacks();
    generateMoves(GEN_ALL);
    return game;
}

TEST(PrincipalVariation, AVeryLongTableLineStaysInsideTheIterationLine) {
    // Analysis of a long game can leave a chain of hundreds of table moves
    // behind the best move; the iteration line (a buffer of 4096 bytes) shows
    // as much of it as fits and still ends with its counters.
    freshSearch();
    setUp(START_FEN);
    std::vector<Move> game = longGameWithoutDraws(900);
    ASSERT_EQ(game.size(), 900u);
    for (size_t i = 0; i + 1 < game.size(); i++) {
        makeMove(game[i]);
        ttStore(curr_ply->key, popCount(curr_ply->occupancy), 1, -1, 1, game[i + 1], 0);
    }
    for (size_t i = 0; i + 1 < game.size(); i++) undoMove();
    search.depth = 20;
    search.seldepth = 30;
    search.bestmove = game[0];
    std::string line = captureStdout([] { printIterationLine(5, -INF, INF); });
    EXPECT_LE(line.size(), 4095u);
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const std::string head = "info depth 20 seldepth 30 score cp 5 pv ";
    ASSERT_EQ(line.substr(0, head.size()), head);
    size_t tail = line.find("time ");
    ASSERT_NE(tail, std::string::npos);
    EXPECT_NE(line.find(" nodes 0 nps 0 hashfull ", tail), std::string::npos) << line.substr(tail);
    // The moves shown are the game's, as many as fit.
    std::string expected;
    size_t shown = 0;
    while (shown < game.size() && head.size() + expected.size() + uci(game[shown]).size() + 1 <= tail) {
        expected += uci(game[shown]) + " ";
        shown++;
    }
    EXPECT_EQ(line.substr(head.size(), tail - head.size()), expected);
    EXPECT_GT(shown, 600u);
    EXPECT_EQ(ply_count, 0);
    EXPECT_EQ(curr_ply, &plies[0]);
}

}  // namespace
