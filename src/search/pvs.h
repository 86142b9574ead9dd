// The node search: fail-soft principal variation search with table cut-offs,
// endgame knowledge, static pruning, null move, ProbCut, internal iterative
// deepening, single-reply extension, late-move reductions and futility and
// history pruning at the last two plies.
#pragma once

#include "board/makemove.h"
#include "board/types.h"
#include "search/tt.h"

// Makes a move of the search whose new key (keyAfter) is known: the new
// position's table bucket is asked for first, since the child probes it
// before anything else.
inline void makeSearchMove(Move move, u64 key) {
    ttPrefetch(key);
    makeMove(move, key);
}
inline void makeSearchMove(Move move) { makeSearchMove(move, keyAfter(move)); }

// Futility margins by remaining depth (index 0 unused).
extern const int futility_margin[3];

// Whether curr_ply is drawn: bare kings, the fifty-move rule, or a third
// occurrence (the game's moves and the search path alike). A position past
// the fifty moves whose side to move is checkmated is no draw; finding that
// out refills curr_ply's attack information and, in check, its move list.
bool isDraw();

// Score of curr_ply from the side to move's view. The search ends at
// horizon (a ply, not a remaining depth); in_check is non-zero when the side
// to move is in check.
int alphaBeta(int ply, int horizon, int alpha, int beta, int in_check);
