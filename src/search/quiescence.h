// The quiescence search beyond the horizon of alphaBeta, and the sign-only
// static exchange test of captures.
#pragma once

#include "board/types.h"

// Piece values of the exchange test and delta pruning, by type.
extern const int exchange_value[7];

// Score of curr_ply after the horizon: stand pat, table, endgame knowledge,
// then captures (and, on the first quiescence ply, checks and the other noisy
// moves; every move when in check).
int quiescence(int ply, int horizon, int alpha, int beta, int in_check);

// Whether a capture of a piece worth less than the mover loses material
// (true: skip it). Captures near a king, with an en passant square, with a
// pinned piece among the attackers, or with a pawn attacker on the last rank
// are not judged (false). updateAttacks must have run on curr_ply.
bool see_sign(Move move);

// Whether a move from the table can be played in curr_ply: the right piece
// stands on its square, its target holds what the move captures, the piece
// reaches it and the king is safe afterwards. En passant and castling never
// pass. updateAttacks must have run on curr_ply.
bool tableMoveLegal(Move move);
