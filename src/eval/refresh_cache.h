// The refresh cache: for each perspective and each square of its king, the
// row of sums last computed there, with the pieces it was computed for. A row
// that must be computed afresh (its king has moved) starts from the entry of
// the new king square and adds and removes only the pieces that differ, which
// in a search is a handful instead of up to thirty.
#pragma once

#include "board/types.h"
#include "platform/thread_slot.h"

struct RefreshEntry {
    alignas(64) i32 row[ACC_SIZE];
    u64 pieces[2][KING];  // [colour][PAWN..QUEEN] the row holds; index 0 unused
};

struct RefreshCache {
    RefreshEntry entry[2][64];  // [perspective colour][its king square]
    bool valid = false;         // false: every entry must start again from the biases
};

// The command loop's thread has main_refresh_cache; every search thread beside
// it has one of its own, which refresh_cache names in that thread.
extern RefreshCache main_refresh_cache;

// The calling thread's cache.
inline RefreshCache *threadRefreshCache() {
    return slotTarget(&main_refresh_cache, threadSlot(THREAD_SLOT_EVAL));
}
// Makes the calling thread use cache as its refresh cache.
inline void useRefreshCache(RefreshCache *cache) {
    setThreadSlot(THREAD_SLOT_EVAL, slotDistance(cache, &main_refresh_cache));
}

#define refresh_cache (*threadRefreshCache())

// Makes every entry start again from the biases (the parameters changed).
void invalidateRefreshCache();

// Row of perspective p for the pieces of a record, written to out (and kept
// in the cache).
void refreshRowCached(const Ply *ply, int p, i32 *out);
