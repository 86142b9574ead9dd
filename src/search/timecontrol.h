// Time control and input polling: the limits of a "go" command, and the
// periodic check of the clock and of waiting input inside the search.
#pragma once

#include "board/types.h"

constexpr u64 INFINITE_BUDGET_MS = 1000000000ULL;
constexpr u64 CHECK_INTERVAL = 10000;        // nodes between two looks at waiting input
constexpr u64 CLOCK_INTERVAL = 1000;         // nodes between two looks at the clock
static_assert(CHECK_INTERVAL % CLOCK_INTERVAL == 0, "the input checks fall on clock checks");
constexpr u64 PROGRESS_INTERVAL = 2000000;   // nodes between two "currmove" lines

// Milliseconds every move leaves on the clock for what happens outside the
// search (reading the command, the answer's way to the GUI, the GUI stopping
// the clock). Every clock computation takes it from here.
constexpr u64 MOVE_OVERHEAD_DEFAULT_MS = 25;
extern u64 move_overhead_ms;
// A clock budget below this many milliseconds searches depth 1 and answers.
constexpr u64 MIN_CLOCK_BUDGET_MS = 5;

// Milliseconds since the program started (monotonic).
i64 searchClock();

// Reads the limits of a "go" command (the whole normalised line) into the
// search record: depth, fixed time, infinite, or the clock of the side to
// move (white_to_move), and nodes, mate, searchmoves (checked against
// curr_ply) and ponder. A line with only the words of "depth", "movetime",
// "infinite" and the clock keeps the rules of those forms (the form right
// after "go" decides; other limits of the line are kept as well). Negative
// numbers count as 0 (a negative movestogo as none); a depth is kept within
// 1..MAX_PLY. A clock budget never exceeds the time on the clock less the
// move overhead: the increment is credited only after the move.
void setGoLimits(const char *command, bool white_to_move);

// "ponderhit": the time limits of the "go ponder" line hold from now on.
void ponderHit();

// Called at every node after the node counter was raised: every 1000 nodes
// looks at the clock and the node limit, every 10000 nodes at waiting input
// too (the commands a search answers itself are answered), and sets
// search.stop; every 2,000,000 nodes prints the progress line. Returns
// search.stop.
u32 checkTimeAndInput();
