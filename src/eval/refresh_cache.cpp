#include "eval/refresh_cache.h"

#include "eval/accumulator.h"
#include "eval/feature_rows.h"

CORVIX_THREAD_STATE_STORAGE(RefreshCache, threadRefreshCache)

namespace {

// Every entry: the biases and no pieces.
void resetEntries() {
    for (auto &side : refresh_cache.entry)
        for (RefreshEntry &e : side) {
            if (narrow_sums) feature_rows::biasRow(e.row16);
            else feature_rows::biasRow(e.row);
            for (auto &colour : e.pieces)
                for (u64 &set : colour) set = 0;
        }
    refresh_cache.valid = true;
}

}  // namespace

void invalidateRefreshCache() { refresh_cache.valid = false; }

void refreshRowCached(Ply *ply, int p) {
    if (!refresh_cache.valid) resetEntries();
    const int king = ply->side[p].king_sq;
    RefreshEntry &e = refresh_cache.entry[p][king];
    // Fewer than 64 pieces beside the kings, whatever the record holds.
    int added[64], removed[64];
    int n_added = 0, n_removed = 0;
    for (int c = BLACK; c <= WHITE; c++) {
        const int r = c == p ? 0 : 1;
        for (int type = PAWN; type <= QUEEN; type++) {
            const u64 now = ply->side[c].pieces[type];
            const u64 had = e.pieces[c][type];
            for (u64 b = now & ~had; b && n_added < 64;) added[n_added++] = featureIndex(p, king, type - 1, r, popLsb(b));
            for (u64 b = had & ~now; b && n_removed < 64;)
                removed[n_removed++] = featureIndex(p, king, type - 1, r, popLsb(b));
            e.pieces[c][type] = now;
        }
    }
    const int row = accRow(p);
    if (narrow_sums)
        feature_rows::applyRows(e.row16, ply->accumulator16[row], e.row16, added, n_added, removed, n_removed);
    else
        feature_rows::applyRows(e.row, ply->accumulator[row], e.row, added, n_added, removed, n_removed);
}
