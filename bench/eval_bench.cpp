// Evaluation speed of one instruction-set level: nanoseconds per forward
// pass, per incremental accumulator update and per refresh through the
// refresh cache (a king move in a search: the cached row differs from the
// position by a piece that moved).
//
// Run from a directory that holds the network file:
//   eval_bench-<isa> [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

namespace {

// Middle-game and end-game placements (the FEN board field only).
const char *const BOARDS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R",
    "2r1k2r/pq1p1ppp/1pbPpn2/8/2P2B2/P2B1P2/1PQ3PP/R3K2R",
    "r2q2k1/pb3pp1/1p3n1p/2bpr3/8/2NBP3/PPQB1PPP/2RR2K1",
    "8/2k5/8/1pP2p2/1P6/8/2K5/6R1",
    "r4rk1/p1p1n2p/3p1p2/7p/5P2/7P/P7/1NK4R",
};

Ply setUp(const char *board) {
    Ply ply;
    std::memset(&ply, 0, sizeof ply);
    int sq = 56;
    for (const char *c = board; *c; c++) {
        if (*c == '/') sq -= 16;
        else if (*c >= '1' && *c <= '8') sq += *c - '0';
        else {
            const char *letters = "pnbrqk";
            int colour = (*c >= 'a') ? BLACK : WHITE;
            int type = (int)(std::strchr(letters, colour == WHITE ? *c + 32 : *c) - letters) + 1;
            ply.side[colour].pieces[type] |= bit(sq);
            ply.side[colour].pieces[0] |= bit(sq);
            if (type == KING) ply.side[colour].king_sq = sq;
            sq++;
        }
    }
    return ply;
}

typedef std::chrono::steady_clock Clock;

template <typename F>
double bestNanoseconds(int rounds, long calls, F body) {
    double best = 1e30;
    for (int r = 0; r < rounds; r++) {
        auto start = Clock::now();
        body();
        double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / (double)calls;
        best = std::min(best, ns);
    }
    return best;
}

struct Step {
    int board;
    Move there, back;
    int mover;
};

}  // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!loadNetwork()) {
        std::printf("cannot load %s from the working directory\n", NNUE_FILE);
        return 1;
    }
    const int nboards = (int)(sizeof BOARDS / sizeof BOARDS[0]);
    std::vector<Ply> records;
    for (const char *b : BOARDS) records.push_back(setUp(b));

    // Accumulators of every board, for the forward pass.
    std::vector<std::vector<i32>> accs;
    for (Ply &p : records) {
        refreshAccumulator(&p);
        accs.emplace_back(&p.accumulator[0][0], &p.accumulator[0][0] + 2 * ACC_SIZE);
    }

    volatile int sink = 0;
    const long FORWARD_CALLS = 200000;
    double forward = bestNanoseconds(rounds, FORWARD_CALLS, [&] {
        int s = 0;
        for (long i = 0; i < FORWARD_CALLS; i++) {
            const int b = (int)(i % nboards);
            s += nnueForwardVector((const i32(*)[ACC_SIZE])accs[b].data(), (int)(i & 1));
        }
        sink = sink + s;
    });

    // Incremental updates: random non-king moves (quiet and captures) on the
    // boards, each played and then played back, so rows come from all over
    // the weight table as in a search.
    std::mt19937_64 rng(1);
    std::vector<Step> steps;
    for (int n = 0; n < 4096; n++) {
        const int b = (int)(rng() % nboards);
        const Ply &p = records[b];
        u64 movers = (p.side[WHITE].pieces[0] | p.side[BLACK].pieces[0]) &
                     ~(p.side[WHITE].pieces[KING] | p.side[BLACK].pieces[KING]);
        std::vector<int> squares;
        while (movers) squares.push_back(popLsb(movers));
        const int from = squares[rng() % squares.size()];
        const int mover = (p.side[WHITE].pieces[0] & bit(from)) ? WHITE : BLACK;
        int type = PAWN;
        while (!(p.side[mover].pieces[type] & bit(from))) type++;
        int to = (int)(rng() % 64);
        while (to == from) to = (int)(rng() % 64);
        const int captured = n % 3 == 0 ? 1 + (int)(rng() % 5) : 0;
        // Played and taken back by the opposite move, which leaves the sums as they were.
        steps.push_back({b, buildMove(from, to, type, captured), buildMove(to, from, type), mover});
    }
    // Each step goes from a board's record into a second record with the
    // same kings, and back.
    std::vector<Ply> there(records);
    const long UPDATE_CALLS = 2 * (long)steps.size() * 50;
    double update = bestNanoseconds(rounds, UPDATE_CALLS, [&] {
        for (int rep = 0; rep < 50; rep++)
            for (const Step &s : steps) {
                updateAccumulator(&records[s.board], &there[s.board], s.there, s.mover);
                updateAccumulator(&there[s.board], &records[s.board], s.back, s.mover);
            }
    });
    // The captured piece's row is subtracted on the way there only; whatever
    // that leaves in the sums is irrelevant to the timing.

    // Every board and a copy with one piece moved, refreshed in turn: the
    // cache entry of the kings' squares is one piece away each time.
    std::vector<Ply> moved(records);
    for (Ply &p : moved) {
        const int colour = p.side[WHITE].pieces[PAWN] ? WHITE : BLACK;
        const int type = p.side[colour].pieces[PAWN] ? PAWN : ROOK;
        const int from = lsb(p.side[colour].pieces[type]);
        const u64 empty = ~(p.side[WHITE].pieces[0] | p.side[BLACK].pieces[0]) & 0x00ffffffffffff00ULL;
        const int to = lsb(empty);
        p.side[colour].pieces[type] ^= bit(from) | bit(to);
        p.side[colour].pieces[0] ^= bit(from) | bit(to);
    }
    const long REFRESH_CALLS = 60000;
    double refresh = bestNanoseconds(rounds, REFRESH_CALLS, [&] {
        for (long i = 0; i < REFRESH_CALLS; i++) {
            std::vector<Ply> &set = (i / nboards) % 2 ? moved : records;
            refreshAccumulator(&set[i % nboards]);
        }
    });

    std::printf("%-6s nnueForward %7.1f ns   update %6.1f ns   refresh %7.1f ns\n", NNUE_VECTOR_PATH, forward,
                update, refresh);
    return sink == 12345678 ? 2 : 0;
}
