#include "eval/accumulator.h"

#include <algorithm>

#include "board/position.h"
#include "eval/feature_rows.h"
#include "eval/refresh_cache.h"

bool narrow_sums = false;

namespace {

// out = in + the added rows - the removed ones, for the few rows of one move.
template <typename Sum>
inline void applyMoveRows(Sum *out, const Sum *in, const int *added, int n_added, const int *removed, int n_removed) {
    switch (n_added * 4 + n_removed) {
    case 1 * 4 + 1: feature_rows::applyRowsFixed<1, 1>(out, in, added, removed); break;
    case 1 * 4 + 2: feature_rows::applyRowsFixed<1, 2>(out, in, added, removed); break;
    case 0 * 4 + 1: feature_rows::applyRowsFixed<0, 1>(out, in, added, removed); break;
    default: feature_rows::applyRowsFixed<0, 0>(out, in, added, removed); break;
    }
}

}  // namespace

void refreshAccumulator(Ply *ply) {
    for (int p = BLACK; p <= WHITE; p++) refreshRowCached(ply, p);
    ply->accumulator_ready = 1;
}

void updateAccumulator(const Ply *before, Ply *after, Move move, int mover, bool en_passant) {
    const int from = moveFrom(move);
    const int to = moveTo(move);
    const int type = movePiece(move);
    const int captured = moveCaptured(move);
    const int promotion = movePromotion(move);
    const int victim = en_passant ? (mover == WHITE ? to - 8 : to + 8) : to;
    for (int p = BLACK; p <= WHITE; p++) {
        const int king = after->side[p].king_sq;
        const int r = p == mover ? 0 : 1;
        int added[2], removed[2];
        int n_added = 0, n_removed = 0;
        if (type == KING) {
            // The moving king anchors its own side's features: that row is
            // computed afresh. For the other side a king is no feature; only
            // the castling rook and a captured piece change its row.
            if (p == mover) {
                refreshRowCached(after, p);
                continue;
            }
            if (to == from + 2 || to == from - 2) {
                const int rook_from = to == from + 2 ? from + 3 : from - 4;
                const int rook_to = to == from + 2 ? from + 1 : from - 1;
                added[n_added++] = featureIndex(p, king, ROOK - 1, r, rook_to);
                removed[n_removed++] = featureIndex(p, king, ROOK - 1, r, rook_from);
            } else if (captured) {
                removed[n_removed++] = featureIndex(p, king, captured - 1, 1 - r, to);
            }
        } else {
            added[n_added++] = featureIndex(p, king, (promotion ? promotion : type) - 1, r, to);
            removed[n_removed++] = featureIndex(p, king, type - 1, r, from);
            if (captured) removed[n_removed++] = featureIndex(p, king, captured - 1, 1 - r, victim);
        }
        const int row = accRow(p);
        if (narrow_sums)
            applyMoveRows(after->accumulator16[row], before->accumulator16[row], added, n_added, removed, n_removed);
        else
            applyMoveRows(after->accumulator[row], before->accumulator[row], added, n_added, removed, n_removed);
    }
    after->accumulator_ready = 1;
}

const Ply *currentAccumulator() {
    Ply *const target = curr_ply;
    if (target->accumulator_ready) return target;
    // The nearest record below with its sums, or the first record of the
    // stack, which is then computed afresh.
    Ply *base = target;
    while (base > plies && !base->accumulator_ready) base--;
    if (!base->accumulator_ready) refreshAccumulator(base);
    // Then one move at a time. A null move changes no piece: the record it
    // leads to shares the sums of the record before it.
    const Ply *source = base;
    for (Ply *next = base + 1; next <= target; next++) {
        const Ply *prev = next - 1;
        const Move move = prev->move;
        if (!move) continue;
        const bool en_passant = movePiece(move) == PAWN && prev->ep && bit(moveTo(move)) == prev->ep;
        updateAccumulator(source, next, move, prev->us->info->colour, en_passant);
        source = next;
    }
    return source;
}

void accumulatorRows(const Ply *ply, i32 out[2][ACC_SIZE]) {
    for (int row = 0; row < 2; row++) {
        if (narrow_sums) std::copy(ply->accumulator16[row], ply->accumulator16[row] + ACC_SIZE, out[row]);
        else std::copy(ply->accumulator[row], ply->accumulator[row] + ACC_SIZE, out[row]);
    }
}

void invalidateAccumulators() {
    for (Ply &p : plies) p.accumulator_ready = 0;
    invalidateRefreshCache();
}
