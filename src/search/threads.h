// The helper threads of a search. With the option Threads at N, N - 1
// helpers wait, parked, for the searches of "go". The main thread (the
// command loop's) runs its iterative deepening as it does alone, prints
// every line, watches the clock and the input and gives the move; the
// helpers search the same root at the same time, each with its own ply
// stack, refresh cache, search record and ordering tables, and share only
// the transposition table, which is how they help: the main thread finds
// their results there. They print nothing and stop as soon as the main
// thread stops.
#pragma once

#include "board/types.h"

constexpr int THREADS_DEFAULT = 1;
constexpr int THREADS_MIN = 1;
constexpr int THREADS_MAX = 256;

// Searching threads, the main thread included.
int threadCount();
// Ends the helpers there are and starts count - 1 new ones (count within
// THREADS_MIN..THREADS_MAX), which then wait for a search. Returns the
// number of threads there are afterwards: fewer than count when the system
// would not start more.
int setThreadCount(int count);
// Ends every helper (at the end of the program).
void endHelperThreads();

// Whether the searches of the main thread use the helpers ("go" does;
// "bench" never does, so that it searches the same tree whatever the
// option says).
void useHelpers(bool use);

// Main thread, at the start of the search of curr_ply (root_pieces set):
// gives every helper the position and the limits of the search record
// ("searchmoves" restricts the helpers too) and sets it searching.
void startHelpers();
// Main thread, before its "bestmove": makes every helper stop and waits
// until all have stopped. Nothing when no helper was started. When a helper
// has completed a deeper iteration than the main thread, the move and score
// of the deepest such iteration become search.bestmove and search.score
// (the main thread's own move otherwise, and always with MultiPV).
void stopHelpers();
// The nodes of this search so far: the main thread's own and every helper's
// (as last published, exact once stopHelpers has returned).
u64 searchNodes();

// The table entries the helpers have filled in the search in progress (as
// last published); stopHelpers adds them to hash_used.
u64 helperFills();

// A helper's look at the state of the search, made instead of the clock and
// input checks of the main thread: publishes its node and table-fill counts
// and sets its
// search.stop when the main thread has stopped. Returns search.stop.
u32 helperCheckpoint();
