// The refresh cache: for each perspective and each square of its king, the
// row of sums last computed there, with the pieces it was computed for. A row
// that must be computed afresh (its king has moved) starts from the entry of
// the new king square and adds and removes only the pieces that differ, which
// in a search is a handful instead of up to thirty.
#pragma once

#include "board/types.h"
#include "platform/thread_slot.h"

struct RefreshEntry {
    union {  // the width of the sums (narrow_sums)
        alignas(64) i32 row[ACC_SIZE];
        i16 row16[ACC_SIZE];
    };
    u64 pieces[2][KING];  // [colour][PAWN..QUEEN] the row holds; index 0 unused
};

struct RefreshCache {
    RefreshEntry entry[2][64];  // [perspective colour][its king square]
    bool valid;                 // false: every entry must start again from the biases
};

// threadRefreshCache(): the calling thread's cache, which refresh_cache names.
CORVIX_THREAD_STATE(RefreshCache, threadRefreshCache, THREAD_SLOT_EVAL)

#define refresh_cache (*threadRefreshCache())

// Makes every entry start again from the biases (the parameters changed).
void invalidateRefreshCache();

// Computes the row of perspective p of a record for its pieces (and keeps it
// in the cache).
void refreshRowCached(Ply *ply, int p);
