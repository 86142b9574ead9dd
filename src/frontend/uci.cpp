#include "frontend/uci.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/position.h"
#include "frontend/commands.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/tbprobe.h"

// CORVIX_VERSION comes from the file VERSION through the build.
const char *const ENGINE_NAME = "Corvix " CORVIX_VERSION ".nnue x64";

namespace {

// Texts handed to loadFen and playMoves by "position".
char fen_text[INPUT_BUFFER_SIZE];
char moves_text[INPUT_BUFFER_SIZE];

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

// Copies the text after the first occurrence of key in the command into dest.
void copyAfter(const char *key, char *dest) {
    const char *found = std::strstr(input_buffer, key);
    std::snprintf(dest, INPUT_BUFFER_SIZE, "%s", found ? found + std::strlen(key) : "");
}

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
    loadFen(START_FEN);
    ttClear();
}

// "position startpos [moves ...]" or "position fen FEN [moves ...]". A FEN
// that is refused, or a move that is malformed or illegal, refuses the whole
// command: the position before it stays.
void positionCommand() {
    savePosition();
    bool ok;
    if (std::strstr(input_buffer, "position startpos")) {
        ok = loadFen(START_FEN);
    } else {
        // The text still holds the move list; loadFen reads six fields at most.
        copyAfter("position fen ", fen_text);
        ok = loadFen(fen_text);
    }
    if (ok && std::strstr(input_buffer, "moves ")) {
        copyAfter("moves ", moves_text);
        ok = playMoves(moves_text);
    }
    if (!ok) restorePosition();
}

// "go": the limits of the command, then the search on the current position.
// Afterwards the search record and the ordering tables start afresh; the
// transposition table keeps what this search found.
void goCommand() {
    setGoLimits(input_buffer, curr_ply->us->info->colour == WHITE);
    startSearch();
    std::memset(&search, 0, sizeof search);
    std::memset(root_nodes, 0, sizeof root_nodes);
    std::memset(history, 0, sizeof history);
}

// A search that was running has already stopped when this line arrived.
void stopCommand() {}

// "setoption name Hash value N": a new table of N MB (the old one and its
// contents are released). Without a number nothing happens.
void setHashCommand() {
    long long size_mb;
    if (std::sscanf(input_buffer, "setoption name Hash value %lli", &size_mb) != 1) return;
    // Out of the int range is as invalid as any other size outside 1..65536.
    if (size_mb > INT_MAX) size_mb = INT_MAX;
    if (size_mb < INT_MIN) size_mb = INT_MIN;
    ttCreate((int)size_mb);
}

void setSyzygyPathCommand() {
    static char path[INPUT_BUFFER_SIZE];
    if (std::sscanf(input_buffer, "setoption name SyzygyPath value %8191s", path) != 1) return;
    initSyzygyAndReport(path);
}

void quitCommand() {
    initSyzygy("");  // unmaps every table file
    freeTableArrays();
    ttFree();
    std::exit(0);
}
