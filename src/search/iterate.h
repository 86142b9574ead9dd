// The entry of a search: the search record, iterative deepening with
// aspiration windows, the root decisions that need no search, and every line
// the search prints (except the periodic progress line of timecontrol).
#pragma once

#include <cstddef>

#include "board/types.h"

constexpr int MATE = 30000;    // mated at ply p scores p - MATE
constexpr int INF = 60000;     // the full window; the best score before any move
constexpr int MAX_PLY = 63;    // deepest iteration; quiescence stops beyond it

// |s| >= 29937 and not INF.
inline bool isMateScore(int s) {
    int a = s < 0 ? -s : s;
    return a > MATE - MAX_PLY - 1 && a != INF;
}

// Limits set by "go" and the counters of the running search. Cleared as a
// whole by ttClear and after every "go".
struct SearchRecord {
    i32 depth;            // iteration in progress
    i32 seldepth;         // deepest ply reached in this iteration
    i32 score;            // score of the best root move so far
    u32 bestmove;         // best root move so far
    u32 stop;             // 1 once the search must end
    u32 currmove;         // root move being searched
    u32 currmovenumber;   // its 1-based place in the root list
    i64 start_time;       // clock (ms since the program started) when the search began
    u64 elapsed;          // ms from start_time to the last clock reading
    u64 nodes;
    u64 nps;
    u32 limit_type;       // LIMIT_DEPTH, LIMIT_TIME, LIMIT_CLOCK
    i32 max_depth;        // last iteration with LIMIT_DEPTH
    u64 time_left;        // own clock less the reserve (not read by the search)
    u64 time_budget;      // ms allotted to this move
    u32 infinite;         // "go infinite" or pondering: the end of input stops it too,
                          // and "bestmove" waits for "stop" (or "ponderhit")
    // The limits that came after today's forms; each is off when 0.
    u64 node_limit;       // stop once this many nodes are searched
    i32 mate_limit;       // stop once a mate in at most this many moves is proven
    u32 multipv;          // root lines reported per iteration (0 and 1: one)
    u32 ponder_suffix;    // "bestmove" names the expected reply too
    u32 pondering;        // "go ponder": searching without a clock until "ponderhit"
    u32 input_stop;       // a command line ended the search: "bestmove" at once
    u32 report_nodes;     // the last "info" line gives nodes and time too
    u64 time_origin;      // ms after start_time at which the clock limits began
    // The time limits that "ponderhit" puts in force.
    u32 hit_limit_type;
    u32 hit_infinite;
    u64 hit_time_left;
    u64 hit_time_budget;
    // Root moves the search may play ("searchmoves"), and those it leaves
    // out for now (the lines MultiPV already reported in this iteration).
    i32 allowed_count;
    i32 excluded_count;
    Move allowed[MAX_MOVES];
    Move excluded[MAX_MOVES];
};

enum : u32 { LIMIT_DEPTH = 0, LIMIT_TIME = 1, LIMIT_CLOCK = 2 };

// search, the calling thread's record.
#include "search/thread_state.h"

// Appends the UCI text of a move to buf at len ("e7e8q"); returns the new length.
size_t appendMoveText(char *buf, size_t len, Move move);
// Writes "score cp %i " or "score mate %i " for a score into buf; returns buf.
char *scoreText(int score, char *buf);

// Whether a "go" line came with searchmoves or MultiPV exclusions, so that
// the root's list must be cut down (restrictRootMoves).
inline bool rootRestricted() { return search.allowed_count > 0 || search.excluded_count > 0; }
// Removes from curr_ply's move list the moves "searchmoves" did not name and
// the moves excluded for this root search.
void restrictRootMoves();

// Sets start_time, answers a drawn position at once, otherwise runs
// iterativeDeepening.
void startSearch();
// Searches curr_ply within the limits of the search record and prints the
// final lines and "bestmove".
void iterativeDeepening();
// Prints the principal variation that starts with move (table moves after it).
void printPv(Move move);
// The "info depth ..." line of a completed root search (called by alphaBeta
// at ply 0); best is the root's best score, alpha and beta its window.
void printIterationLine(int best, int alpha, int beta);
