// A complete game between two Windows programs at one second plus a tenth
// per move, refereed as a GUI does: no illegal move, no loss on time.
#include <cstdio>

#include "integration/referee.h"
#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

class WindowsGame : public WindowsTest {};

TEST_P(WindowsGame, GameAtOneSecondPlusATenth) {
    // The level under test has white; the fastest level the processor runs
    // has black.
    const std::string black = testedIsas().back();
    GameResult r = playGame(exe(), windowsProgram(black), windowsDir(), "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6",
                            {1000, 100, 120});
    std::printf("[ referee  ] %s.exe vs %s.exe, 1000+100 ms: %s after %d plies\n", GetParam().c_str(),
                black.c_str(), r.outcome.c_str(), r.half_moves);
    EXPECT_FALSE(r.failed) << r.outcome;
}

CORVIX_FOR_EACH_BUILD(WindowsGame);

}  // namespace
