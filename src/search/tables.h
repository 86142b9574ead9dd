// Small tables built at start-up for the search: quiet-move centrality and
// late-move reductions.
#pragma once

#include "board/types.h"

// Distance of a square from the edge of the board, counted on both axes:
// 0 in the corners, 6 on d4, e4, d5, e5.
extern const u8 centre_table[64];

// Indexed by from * 64 + to (the low 12 bits of a move word): a move towards
// the centre scores higher, and between equal targets the one leaving the less
// central square does.
extern u8 move_centrality[4096];

// Late-move reduction by [depth][move number], ln(d) * ln(m) / 1.3 truncated;
// row 0 and column 0 are 0.
extern u8 reduction_table[64][64];

void initMoveCentrality();
void initReductionTable();
