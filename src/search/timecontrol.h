// Time control and input polling: the limits of a "go" command, and the
// periodic check of the clock and of waiting input inside the search.
#pragma once

#include "board/types.h"

constexpr u64 INFINITE_BUDGET_MS = 1000000000ULL;
constexpr u64 CHECK_INTERVAL = 10000;        // nodes between two looks at waiting input
constexpr u64 CLOCK_INTERVAL = 1000;         // nodes between two looks at the clock
static_assert(CHECK_INTERVAL % CLOCK_INTERVAL == 0, "the input checks fall on clock checks");
constexpr u64 PROGRESS_INTERVAL = 2000000;   // nodes between two "currmove" lines

// Milliseconds since the program started (monotonic).
i64 searchClock();

// Reads the limits of a "go" command (the whole normalised line) into the
// search record: depth, fixed time, infinite, or the clock of the side to
// move (white_to_move). Negative numbers count as 0; a depth is kept within
// 1..MAX_PLY.
void setGoLimits(const char *command, bool white_to_move);

// Called at every node after the node counter was raised: every 1000 nodes
// looks at the clock, every 10000 nodes at waiting input too, and sets
// search.stop; every 2,000,000 nodes prints the progress line. Returns
// search.stop.
u32 checkTimeAndInput();
