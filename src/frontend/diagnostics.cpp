#include "frontend/diagnostics.h"

#include <cstdio>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/position.h"
#include "eval/evaluate.h"
#include "frontend/commands.h"
#include "platform/clock.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/tt.h"

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
    ttClear();
}

namespace {

// Prints the moves of curr_ply's list in the search's inner order, breaking
// the line whenever the running column passes 69; mirror is XORed into every
// move word before it is printed.
void printOrderedMoves(Move mirror) {
    int column = 0;
    for (int i = 0; i < curr_ply->generated; i++) {
        column += printMove(pickNextMove(i) ^ mirror);
        if (column > 69) {
            std::printf("\n");
            column = 0;
        } else {
            std::printf(" ");
            column++;
        }
    }
}

}  // namespace

// "debug": the board, the static value as a score, and the legal moves in the
// order the search would try them, then the same with the ranks mirrored.
void debugCommand() {
    updateAttacks();
    displayBoard();
    int v = evaluate();
    int a = v < 0 ? -v : v;
    if (a == INF || a < MATE - MAX_PLY) std::printf("score cp %i ", v);
    else if (v > 0) std::printf("score mate %i  [%i half-moves]", (MATE + 1 - v) / 2, MATE - v);
    else std::printf("score mate %i  [%i half-moves]", -((v + MATE + 1) / 2), v + MATE);
    std::printf("\n\n");
    generateMoves(GEN_ALL);
    std::printf("%i legal moves:\n", curr_ply->generated);
    printOrderedMoves(0);
    std::printf("\n\n%i mirrored legal moves:\n", curr_ply->generated);
    printOrderedMoves(0xe38);
    std::printf("\n\n");
}

// "bench": four fixed searches to depth 12 on an empty table, then the total
// node count and speed. The last bench position stays the current one.
void benchCommand() {
    static const char *const BENCH_FENS[4] = {
        "2r1k2r/pq1p1ppp/1pbPpn2/8/2P2B2/P2B1P2/1PQ3PP/R3K2R b KQk - 2 16",
        "1n1q1rk1/r3ppbp/p1p3p1/1p3b2/P1pP3B/1NP1PB2/5PPP/R2QR1K1 w - - 10 16",
        "r2q2k1/pb3pp1/1p3n1p/2bpr3/8/2NBP3/PPQB1PPP/2RR2K1 w - - 0 16",
        "r5k1/p2qp1bp/6p1/1pP3P1/2n1P3/1QP1B3/P3N1PP/R4K2 b - - 0 17",
    };
    int64_t start = clockMs();
    u64 total = 0;
    for (const char *fen : BENCH_FENS) {
        loadFen(fen);
        ttClear();
        displayBoard();
        search.limit_type = LIMIT_DEPTH;
        search.max_depth = 12;
        startSearch();
        total += search.nodes;
        ttClear();
    }
    printSpeed(total, (u64)(clockMs() - start));
}
