#include "integration/referee_board.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "frontend/uci.h"

namespace corvix_test {

namespace {

// Runs f with standard output going nowhere (the board code reports refused
// input with info strings).
template <typename F>
auto silently(F f) {
    std::fflush(stdout);
    FILE *saved = stdout;
    FILE *null_out = std::fopen("/dev/null", "w");
    stdout = null_out;
    auto result = f();
    stdout = saved;
    std::fclose(null_out);
    return result;
}

}  // namespace

void initRefereeBoard() {
    static bool done = false;
    if (done) return;
    initPosition();
    initAttackTables();
    initSliders();
    done = true;
    refereeNewGame();
}

void refereeNewGame() {
    silently([] { return loadFen(START_FEN); });
}

bool refereePosition(const std::string &command) {
    return silently([&] { return setPosition(command.c_str()); });
}

bool refereeLegal(const std::string &move_text) {
    // "e2e4 ponder e7e5": the reply must be legal after the move.
    const size_t ponder = move_text.find(" ponder ");
    if (ponder != std::string::npos) {
        if (!refereeLegal(move_text.substr(0, ponder))) return false;
        makeMove(parseMove(move_text.substr(0, ponder).c_str()));
        const bool legal = refereeLegal(move_text.substr(ponder + 8));
        undoMove();
        return legal;
    }
    if (move_text.size() != 4 && move_text.size() != 5) return false;
    return parseMove(move_text.c_str()) != 0;
}

bool refereeHasMoves() {
    updateAttacks();
    generateMoves(GEN_ALL);
    return curr_ply->generated > 0;
}

std::string refereeFen() {
    char fen[128];
    return positionFen(fen);
}

}  // namespace corvix_test
