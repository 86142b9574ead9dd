// Static evaluation of the current position.
#pragma once

#include "board/types.h"

// Network value of curr_ply in centipawns, side to move's view.
int nnueForward();
// nnueForward with the bare-king guards (it needs no attack information of
// curr_ply).
int evaluate();
