#include "frontend/uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/position.h"
#include "frontend/commands.h"
#include "frontend/options.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/threads.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/tbprobe.h"

// CORVIX_VERSION comes from the file VERSION through the build.
const char *const ENGINE_NAME = "Corvix " CORVIX_VERSION ".nnue x64";

namespace {

// The position before a "position" command, put back when the command is
// refused. Records go back to the same slots, so their pointers stay valid.
Ply saved_plies[PLY_STACK_SIZE];
i32 saved_ply_count;
i32 saved_ply_offset;
long saved_curr_ply;

void savePosition() {
    saved_ply_count = ply_count;
    saved_ply_offset = ply_offset;
    saved_curr_ply = curr_ply - plies;
    long top = saved_curr_ply > ply_count ? saved_curr_ply : ply_count;
    std::memcpy(saved_plies, plies, sizeof(Ply) * (size_t)(top + 1));
}

void restorePosition() {
    long top = saved_curr_ply > saved_ply_count ? saved_curr_ply : saved_ply_count;
    std::memcpy(plies, saved_plies, sizeof(Ply) * (size_t)(top + 1));
    ply_count = saved_ply_count;
    ply_offset = saved_ply_offset;
    curr_ply = plies + saved_curr_ply;
}

// The text after the first occurrence of key in the command (key must occur).
const char *textAfter(const char *command, const char *key) { return std::strstr(command, key) + std::strlen(key); }

}  // namespace

void uciCommand() {
    std::printf("id name %s\n", ENGINE_NAME);
    std::printf("id author Quorandel\n");
    printOptions();
    std::printf("uciok\n");
}

void isReadyCommand() { std::printf("readyok\n"); }

void newGameCommand() {
    loadFen(START_FEN);
    ttClear();
}

bool setPosition(const char *command) {
    savePosition();
    bool ok;
    if (std::strstr(command, "position startpos")) {
        ok = loadFen(START_FEN);
    } else {
        // The text still holds the move list; loadFen reads six fields at most.
        ok = loadFen(textAfter(command, "position fen "));
    }
    if (ok && std::strstr(command, "moves ")) ok = playMoves(textAfter(command, "moves "));
    if (!ok) restorePosition();
    return ok;
}

void positionCommand() { setPosition(input_buffer); }

// "go": the limits of the command, then the search on the current position.
// Afterwards the search record and the ordering tables start afresh; the
// transposition table keeps what this search found.
void goCommand() {
    setGoLimits(input_buffer, curr_ply->us->info->colour == WHITE);
    search.multipv = (u32)multipv_lines;
    // A GUI that ponders plays the expected reply on its own board first.
    search.ponder_suffix = ponder_enabled || search.pondering;
    useHelpers(true);
    startSearch();
    useHelpers(false);
    std::memset(&search, 0, sizeof search);
    std::memset(root_nodes, 0, sizeof root_nodes);
    std::memset(history, 0, sizeof history);
}

// A search that was running has already stopped when this line arrived.
void stopCommand() {}

// A "ponderhit" that comes after its search has ended: nothing is left to do.
void ponderHitCommand() {}

void quitCommand() {
    endHelperThreads();
    initSyzygy("");  // unmaps every table file
    freeTableArrays();
    ttFree();
    std::exit(0);
}
