// The feature-transformer sums of both perspectives. Every record of the ply
// stack has room for them (Ply::accumulator); they are computed when the
// position is first evaluated, from the nearest record below that has them,
// one move at a time, so that making and taking back moves costs nothing
// here and positions that are never evaluated never pay for them.
#pragma once

#include "board/types.h"

// accumulator[WHITE_ROW] is white's perspective, accumulator[BLACK_ROW] black's.
constexpr int WHITE_ROW = 0;
constexpr int BLACK_ROW = 1;
inline int accRow(int colour) { return colour == WHITE ? WHITE_ROW : BLACK_ROW; }

// Feature row of a piece of kind k (type - 1) on square s, seen from
// perspective p whose own king is on square k_sq; r = 0 for p's own piece.
inline int featureIndex(int p, int k_sq, int k, int r, int s) {
    int o = p == WHITE ? 0 : 63;
    return 641 * (k_sq ^ o) + 1 + 64 * (2 * k + r) + (s ^ o);
}

// Whether the sums are kept in 16 bits (Ply::accumulator16) instead of 32
// (Ply::accumulator), for every record and the refresh cache alike. Set by
// prepareNetwork: true when the parameters keep every sum within 16 bits
// (sumsFitIn16Bits), which halves the work of each accumulator step.
extern bool narrow_sums;

// The record that holds the sums of curr_ply (curr_ply itself, or the record
// below a run of null moves), computed first when they are missing. curr_ply
// must be a record of plies.
const Ply *currentAccumulator();

// Both rows of a record's sums as 32-bit values, white's row first, whatever
// width they are kept in.
void accumulatorRows(const Ply *ply, i32 out[2][ACC_SIZE]);

// Computes both rows of a record from its pieces (king squares included)
// and marks them ready.
void refreshAccumulator(Ply *ply);

// The step of one move: the rows of `after` (the record the move produced)
// from the ready rows of `before`; mover is the colour that moved. Ordinary
// moves, captures, promotions and en passant change a few rows of weights; a
// king move computes its own side's row afresh (the king anchors it) and
// changes the other row by the castling rook or the captured piece.
void updateAccumulator(const Ply *before, Ply *after, Move move, int mover, bool en_passant = false);

// Forgets every computed sum, in the records of plies and in the refresh
// cache: the parameters have changed.
void invalidateAccumulators();
