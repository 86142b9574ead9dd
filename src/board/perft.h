#pragma once

#include "board/types.h"

// Leaf count of the legal move tree from curr_ply, with a divide line per
// root move when ply is 0 and last is above 0.
u64 perftDivide(int ply, int last);
