#include "frontend/uci.h"

#include <cstdio>
#include <cstdlib>

#include "frontend/commands.h"

const char *const ENGINE_NAME = "Corvix 0.7.nnue x64";

namespace {

constexpr int HASH_DEFAULT_MB = 128;
constexpr int HASH_MIN_MB = 1;
constexpr int HASH_MAX_MB = 65536;

}  // namespace

void uciCommand() {
    std::printf("id name %s\n", ENGINE_NAME);
    std::printf("id author Quorandel\n");
    std::printf("option name Hash type spin default %i min %i max %i\n", HASH_DEFAULT_MB, HASH_MIN_MB,
                HASH_MAX_MB);
    std::printf("option name SyzygyPath type string default <empty>\n");
    std::printf("uciok\n");
}

void isReadyCommand() { std::printf("readyok\n"); }

void newGameCommand() {
    // The start position is set up once the board code is in.
}

void positionCommand() { std::printf("info string position is not available yet\n"); }

void goCommand() { std::printf("info string go is not available yet\n"); }

// A search that was running has already stopped when this line arrived.
void stopCommand() {}

void setHashCommand() { std::printf("info string setoption name Hash is not available yet\n"); }

void setSyzygyPathCommand() {
    static char path[INPUT_BUFFER_SIZE];
    if (std::sscanf(input_buffer, "setoption name SyzygyPath value %8191s", path) != 1) return;
    // No tablebase code yet: no path registers a table.
    std::printf("info debug Initialisation of Syzygy : %s\n", "failure");
}

void quitCommand() { std::exit(0); }
