// Making and taking back moves on the ply stack.
#pragma once

#include "board/types.h"

// Plays a legal move of curr_ply into the next record and makes it current.
void makeMove(Move move);
// The same with the key of the new position already known (keyAfter).
void makeMove(Move move, u64 key);
// Key of the position that makeMove(move) would produce from curr_ply; the
// search computes it first to start loading the new position's table bucket.
u64 keyAfter(Move move);
// Steps back one record.
void undoMove();
// Null move of the search: the side to move passes.
void makeNullMove();
void undoNullMove();
// Recomputes the passed-pawn sets of both sides of curr_ply.
void updatePassed();
