// Complete games between two engine processes, refereed the way a GUI does:
// the whole move list with every "position", the clocks in "go", the wall
// time between "go" and "bestmove" taken from the mover's clock. Every move
// is checked with the engine's move generator; a game ends by mate,
// stalemate, the draw rules or a move limit. An illegal move, a missing move
// or a loss on time fails the test.
#include <cstdio>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "integration/referee_board.h"
#include "integration/search_support.h"
#include "search/pvs.h"

using namespace corvix_test;

namespace {

struct TimeControl {
    long long base_ms, increment_ms;
    int max_plies;          // adjudicated as a draw after this many plies
    int moves_per_period;   // > 0: base_ms more after every so many of a side's moves, sent as movestogo
    int hash_mb = 0;        // > 0: the engines' table size, set before the game
};

struct GameResult {
    std::string outcome;  // "1-0", "0-1", "1/2-1/2", or what went wrong
    int plies = 0;
    bool failed = false;
};

GameResult playGame(const std::string &white_isa, const std::string &black_isa, const std::string &opening,
                    const TimeControl &tc) {
    GameResult result;
    Engine white(white_isa), black(black_isa);
    if (!white.ok() || !black.ok()) return {"engine did not start", 0, true};
    for (Engine *e : {&white, &black}) {
        std::vector<std::string> lines;
        if (tc.hash_mb > 0) e->send("setoption name Hash value " + std::to_string(tc.hash_mb));
        e->send("ucinewgame");
        e->send("isready");
        if (!e->process().readUntil("readyok", lines, 10000 * SLOWDOWN)) return {"no readyok", 0, true};
    }

    initRefereeBoard();
    refereeNewGame();
    std::string moves;
    // The opening is played on the referee's board first.
    for (size_t at = 0; at < opening.size();) {
        size_t end = opening.find(' ', at);
        std::string text = opening.substr(at, end == std::string::npos ? std::string::npos : end - at);
        Move m = parseMove(text.c_str());
        if (!m) return {"bad opening move " + text, 0, true};
        makeMove(m);
        moves += " " + text;
        if (end == std::string::npos) break;
        at = end + 1;
    }

    long long clock[2] = {tc.base_ms, tc.base_ms};  // [BLACK], [WHITE]
    for (int ply = 0;; ply++) {
        result.plies = ply;
        updateAttacks();
        generateMoves(GEN_ALL);
        int side = curr_ply->us->info->colour;
        if (curr_ply->generated == 0) {
            bool mated = curr_ply->us->attacks[ATK_CHECKERS] != 0;
            result.outcome = !mated ? "1/2-1/2 (stalemate)" : side == WHITE ? "0-1" : "1-0";
            return result;
        }
        if (isDraw()) {
            result.outcome = "1/2-1/2 (draw rule)";
            return result;
        }
        if (ply >= tc.max_plies) {
            result.outcome = "1/2-1/2 (move limit)";
            return result;
        }

        Engine &mover = side == WHITE ? white : black;
        std::string go = "go wtime " + std::to_string(clock[WHITE]) + " btime " + std::to_string(clock[BLACK]) +
                         " winc " + std::to_string(tc.increment_ms) + " binc " + std::to_string(tc.increment_ms);
        const int own_moves = ply / 2;  // moves this side has made (white moves first from every opening here)
        if (tc.moves_per_period > 0)
            go += " movestogo " + std::to_string(tc.moves_per_period - own_moves % tc.moves_per_period);
        long long start = nowMs();
        std::vector<std::string> lines = mover.search("position startpos moves" + moves + "\n" + go,
                                                      (int)(clock[side] + 5000));
        long long used = nowMs() - start;
        const std::string &last = lines.empty() ? std::string() : lines.back();
        if (!startsWith(last, "bestmove ")) return {"no bestmove from " + std::string(side == WHITE ? "white" : "black"), ply, true};
        clock[side] -= used;
        if (clock[side] <= 0) {
            return {std::string(side == WHITE ? "white" : "black") + " lost on time (used " + std::to_string(used) +
                        " ms)" + moves,
                    ply, true};
        }
        clock[side] += tc.increment_ms;
        if (tc.moves_per_period > 0 && (own_moves + 1) % tc.moves_per_period == 0) clock[side] += tc.base_ms;
        std::string text = last.substr(9);
        Move m = parseMove(text.c_str());
        if (!m) return {"illegal move " + text + " after" + moves, ply, true};
        makeMove(m);
        moves += " " + text;
    }
}

const std::vector<std::string> OPENINGS = {
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",
    "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",
    "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6",
    "c2c4 e7e5 b1c3 g8f6 g1f3 b8c6",
};

void playSeries(const TimeControl &tc, int games) {
    const std::vector<std::string> &isas = testedIsas();
    ASSERT_FALSE(isas.empty());
    for (int i = 0; i < games; i++) {
        const std::string &w = isas[i % isas.size()];
        const std::string &b = isas[(i + 1) % isas.size()];
        const std::string &opening = OPENINGS[i % OPENINGS.size()];
        GameResult r = playGame(w, b, opening, tc);
        std::printf("[ referee  ] %s vs %s, %lld+%lld ms%s, from \"%s\": %s after %d plies\n", w.c_str(),
                    b.c_str(), tc.base_ms, tc.increment_ms,
                    tc.moves_per_period ? (" per " + std::to_string(tc.moves_per_period) + " moves").c_str() : "",
                    opening.c_str(), r.outcome.c_str(), r.plies);
        EXPECT_FALSE(r.failed) << r.outcome;
    }
}

TEST(Referee, GamesAtOneSecondPlusATenth) {
    if (SANITIZED) {
        // Ten times slower engines would not keep to a 75 ms budget; a short
        // game at a slower pace still runs the whole protocol.
        playSeries({10000, 100, 16, 0}, 1);
        return;
    }
    playSeries({1000, 100, 120, 0}, 4);
}

TEST(Referee, GameAtTenSecondsPlusATenth) {
    if (SANITIZED) GTEST_SKIP() << "the sanitized engines play the short series only";
    playSeries({10000, 100, 50, 0}, 2);
}

// Bullet: one second and a hundredth. Most moves have a budget of nothing
// and get the depth-1 answer.
TEST(Referee, GamesAtOneSecondPlusAHundredth) {
    if (SANITIZED) GTEST_SKIP() << "the sanitized engines play the short series only";
    playSeries({1000, 10, 160, 0}, 2);
}

// Forty moves in ten seconds: "movestogo" counts down to the end of the
// period, whose last move may spend most of what is left, then the clock is
// refilled.
TEST(Referee, GameAtFortyMovesInTenSeconds) {
    if (SANITIZED) GTEST_SKIP() << "the sanitized engines play the short series only";
    playSeries({10000, 0, 90, 40}, 1);
}

// A clock that starts below the increment: the increment is credited only
// after the move, so the budget must come from what the clock holds. The
// engines get a 16 MB table, as such short games are played with: the first
// touches of a fresh 128 MB table's pages can cost more than the clock holds.
TEST(Referee, GameWithAClockBelowTheIncrement) {
    if (SANITIZED) GTEST_SKIP() << "the sanitized engines play the short series only";
    playSeries({300, 1000, 8, 0, 16}, 1);
}

}  // namespace
