#include "frontend/diagnostics.h"

#include <cstdio>

#include "board/movegen.h"
#include "board/perft.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "frontend/commands.h"
#include "platform/clock.h"

namespace {

// Deepest perft the command runs: the counting walks one record of the ply
// stack per level, and nobody waits for depth 60 anyway.
constexpr long long PERFT_MAX_DEPTH = 60;

void printSpeed(u64 nodes, u64 ms) {
    u64 speed = ms ? nodes / ms * 1000 : 0;
    std::printf("%llu nodes in %llu ms, speed = %llu nodes/s\n", (unsigned long long)nodes,
                (unsigned long long)ms, (unsigned long long)speed);
}

}  // namespace

// "eval": the static evaluation of the current position in pawns, from the
// side to move's view. The attack sets are brought up to date first, since
// the bare-king guard reads them.
void evalCommand() {
    updateAttacks();
    std::printf("eval = %0.2lf\n", evaluate() * 0.01);
}

// "perft N": leaf count of the move tree to depth N with one line per root
// move; "perft" alone: the number of legal moves.
void perftCommand() {
    long long depth = 0;
    u64 nodes;
    int64_t start;
    if (std::sscanf(input_buffer, "perft %lli", &depth) == 1) {
        // The last level walked is curr_ply + depth - 1, which must stay on the stack.
        long long room = PLY_STACK_SIZE - 1 - (curr_ply - plies) + 1;
        long long max_depth = room < PERFT_MAX_DEPTH ? room : PERFT_MAX_DEPTH;
        if (depth < 1 || depth > max_depth) {
            std::printf("info string perft depth %lld is out of range (1 to %lld)\n", depth, max_depth);
            return;
        }
        start = clockMs();
        nodes = perftDivide(0, (int)depth - 1);
    } else {
        start = clockMs();
        updateAttacks();
        generateMoves(GEN_ALL);
        nodes = (u64)curr_ply->generated;
    }
    int64_t elapsed = clockMs() - start;
    printSpeed(nodes, (u64)elapsed);
    // The transposition table is emptied here once the search is in.
}

void debugCommand() { std::printf("info string debug is not available yet\n"); }

void benchCommand() { std::printf("info string bench is not available yet\n"); }
