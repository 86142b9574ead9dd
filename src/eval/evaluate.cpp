#include "eval/evaluate.h"

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

int nnueForward() {
    const Ply *sums = currentAccumulator();
    const int side = curr_ply->us->info->colour;
    if (narrow_sums) return nnueForwardNarrow(sums->accumulator16, side);
    return nnueForwardVector(sums->accumulator, side);
}

int evaluate() {
    const Ply *ply = curr_ply;
    // Only the two kings: nothing to play for.
    if (popCount(ply->occupancy) == 2) return 0;
    // A bare king to move that cannot step anywhere: stalemate-like, a draw.
    // (The attacked squares are computed here, so that the caller need not
    // have run updateAttacks.)
    if (popCount(ply->us->pieces[0]) == 1 &&
        (king_attacks[ply->us->king_sq] & ~attackedSquares(ply->them->info->colour)) == 0)
        return 0;
    return nnueForward();
}
