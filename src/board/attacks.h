// Fixed attack and line tables.
#pragma once

#include "board/types.h"

extern u64 king_attacks[64];
extern u64 knight_attacks[64];
extern u64 pawn_attacks[2][64];   // [colour][square]: squares a pawn of that colour attacks
extern u64 front_span[2][64];     // squares ahead on the same file
extern u64 passed_span[2][64];    // squares ahead on the same and adjacent files
extern u64 rook_rays[64];
extern u64 bishop_rays[64];
extern u64 queen_rays[64];
extern u64 line_id[64];           // one bit per line (rank, file, two diagonals) through the square

// Squares strictly between two squares on a common line (empty otherwise).
extern u64 between_bb[64][64];

void initAttackTables();

// Three squares lie on one line.
inline bool aligned(int a, int b, int c) { return (line_id[a] & line_id[b] & line_id[c]) != 0; }
