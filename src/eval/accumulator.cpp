#include "eval/accumulator.h"

#include "board/position.h"
#include "eval/feature_rows.h"
#include "eval/refresh_cache.h"

void refreshAccumulator(Ply *ply) {
    for (int p = BLACK; p <= WHITE; p++) refreshRowCached(ply, p, ply->accumulator[accRow(p)]);
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
        i32 *out = after->accumulator[accRow(p)];
        const i32 *in = before->accumulator[accRow(p)];
        int added[2], removed[2];
        int n_added = 0, n_removed = 0;
        if (type == KING) {
            // The moving king anchors its own side's features: that row is
            // computed afresh. For the other side a king is no feature; only
            // the castling rook and a captured piece change its row.
            if (p == mover) {
                refreshRowCached(after, p, out);
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
        switch (n_added * 4 + n_removed) {
        case 1 * 4 + 1: feature_rows::applyRowsFixed<1, 1>(out, in, added, removed); break;
        case 1 * 4 + 2: feature_rows::applyRowsFixed<1, 2>(out, in, added, removed); break;
        case 0 * 4 + 1: feature_rows::applyRowsFixed<0, 1>(out, in, added, removed); break;
        default: feature_rows::applyRowsFixed<0, 0>(out, in, added, removed); break;
        }
    }
    after->accumulator_ready = 1;
}

const i32 (*currentAccumulator())[ACC_SIZE] {
    Ply *const target = curr_ply;
    if (target->accumulator_ready) return target->accumulator;
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
    return source->accumulator;
}

void invalidateAccumulators() {
    for (Ply &p : plies) p.accumulator_ready = 0;
    invalidateRefreshCache();
}
