// Making and taking back moves on the ply stack.
#pragma once

#include "board/types.h"

// Plays a legal move of curr_ply into the next record and makes it current.
void makeMove(Move move);
// Steps back one record.
void undoMove();
// Null move of the search: the side to move passes.
void makeNullMove();
void undoNullMove();
// Recomputes the passed-pawn sets of both sides of curr_ply.
void updatePassed();
