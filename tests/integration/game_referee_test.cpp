// Complete games between two engine processes, refereed the way a GUI does
// (see referee.h). An illegal move, a missing move or a loss on time fails
// the test.
#include <cstdio>
#include <string>
#include <vector>

#include "integration/referee.h"
#include "integration/search_support.h"

using namespace corvix_test;

namespace {

const std::vector<std::string> OPENINGS = {
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",
    "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",
    "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6",
    "c2c4 e7e5 b1c3 g8f6 g1f3 b8c6",
};

void playSeries(const TimeControl &tc, int games, GameResult *last = nullptr) {
    const std::vector<std::string> &isas = testedIsas();
    ASSERT_FALSE(isas.empty());
    for (int i = 0; i < games; i++) {
        const std::string &w = isas[i % isas.size()];
        const std::string &b = isas[(i + 1) % isas.size()];
        const std::string &opening = OPENINGS[i % OPENINGS.size()];
        GameResult r = playGame(programPath(w), programPath(b), binaryDir(), opening, tc);
        std::printf("[ referee  ] %s vs %s, %lld+%lld ms%s%s, from \"%s\": %s after %d plies\n", w.c_str(),
                    b.c_str(), tc.base_ms, tc.increment_ms,
                    tc.moves_per_period ? (" per " + std::to_string(tc.moves_per_period) + " moves").c_str() : "",
                    tc.ponder ? ", pondering" : "",
                    opening.c_str(), r.outcome.c_str(), r.half_moves);
        EXPECT_FALSE(r.failed) << r.outcome;
        if (tc.ponder) std::printf("[ referee  ] %d ponder searches, %d ponderhits\n", r.ponder_searches, r.ponder_hits);
        if (last) *last = r;
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

// Both engines ponder, as a GUI lets them: "go ponder" on the expected
// reply, "ponderhit" when it is played, "stop" and a new "go" when not.
TEST(Referee, GameWithPondering) {
    if (SANITIZED) GTEST_SKIP() << "the sanitized engines play the short series only";
    TimeControl tc{3000, 100, 80, 0};
    tc.ponder = true;
    GameResult r;
    playSeries(tc, 1, &r);
    EXPECT_GT(r.ponder_searches, 0);
}

}  // namespace
