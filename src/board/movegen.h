// Attack information and legal move generation for the current position.
#pragma once

#include "board/types.h"

// Fills attack[], slider_attacks[] of curr_ply.
void updateAttacks();
// Fills moves[] and generated of curr_ply with the legal moves of the mode
// (GEN_ALL, GEN_NOISY, GEN_CAPTURES). updateAttacks must have run first.
void generateMoves(int mode);
// Safe destination squares of the side to move's king on square from.
u64 kingTargets(int from);
// Every square a colour attacks in curr_ply (what updateAttacks puts into
// its entry ATK_ALL), computed on its own.
u64 attackedSquares(int colour);
