// Move ordering: lazy selection of the best remaining move of curr_ply's list.
#pragma once

#include "board/position.h"
#include "board/types.h"
#include "search/iterate.h"

// history, root_nodes and history_version: the calling thread's
// (search/thread_state.h).

// Move bits that keep a move out of the history: captures, promotions,
// checks and the other generator flags (bits 16-27).
constexpr u32 HISTORY_EXCLUDED = 0x0fff0000u;

// History value of a move for the side to move of curr_ply.
inline i32 &historyOf(Move m) { return history[curr_ply->us->info->colour][moveMoved(m)][moveTo(m)]; }

// Inner order: swaps the greatest of moves[i..generated-1] of curr_ply into
// place i and returns it.
Move pickNextMove(int i);

// The inner order's keys of a node's moves, kept by the node over its move
// loop so that each selection is one pass over numbers. The keys of quiet
// moves hold history, so they are computed again whenever history has
// changed since (history_version).
struct MoveKeys {
    u64 key[MAX_MOVES];
    u32 version;
    bool valid = false;
};
// pickNextMove with the node's keys; the list may be changed between two
// calls by these selections only.
Move pickNextMove(int i, MoveKeys &keys);
// Root order (table move, then root_nodes, then the inner order).
Move pickRootMove(int i);
// Order by the move word alone (with rank_flip), for ProbCut and quiescence.
Move pickSimpleKey(int i);

// History after a cut-off by moves[i] of curr_ply at remaining depth rdepth:
// the cut-off move gains rdepth * rdepth, every move tried before it loses
// rdepth (moves with a bit in 16-27 are left alone).
void historyCutoff(int i, int rdepth);

// Whether move c comes before move b in the inner order (for the tests).
bool innerOrderBefore(Move c, Move b);
