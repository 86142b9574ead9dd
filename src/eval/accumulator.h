// The feature-transformer sums of both perspectives, kept up to date by makeMove.
#pragma once

#include "board/types.h"

// accumulator[WHITE_ROW] is white's perspective, accumulator[BLACK_ROW] black's.
constexpr int WHITE_ROW = 0;
constexpr int BLACK_ROW = 1;
inline int accRow(int colour) { return colour == WHITE ? WHITE_ROW : BLACK_ROW; }

extern i32 accumulator[2][ACC_SIZE];

// Feature row of a piece of kind k (type - 1) on square s, seen from
// perspective p whose own king is on square k_sq; r = 0 for p's own piece.
inline int featureIndex(int p, int k_sq, int k, int r, int s) {
    int o = p == WHITE ? 0 : 63;
    return 641 * (k_sq ^ o) + 1 + 64 * (2 * k + r) + (s ^ o);
}

// Recomputes both rows from the pieces of a record.
void refreshAccumulator(const Ply *ply);
// The step of makeMove: brings both rows from the position before the move to
// the record ply that the move produced; mover is the colour that moved.
// Ordinary moves, captures, promotions and en passant change a few rows of
// weights; a king move recomputes its own side's row (the king anchors it)
// and changes the other row by the castling rook or the captured piece.
void updateAccumulator(Move move, const Ply *ply, int mover, bool en_passant = false);
