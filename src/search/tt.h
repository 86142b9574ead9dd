// The transposition table: buckets of four 16-byte entries keyed by the full
// position key, replaced by piece count relative to the root and by depth.
#pragma once

#include "board/types.h"

// Bound types (bits 0-1 of flags).
enum : int { UPPERBOUND = 1, LOWERBOUND = 2, EXACT = 3 };

// An entry is two 64-bit words. The threads of a search store and probe the
// table without a lock, each word being read and written whole, so a reader
// may meet an entry whose words come from two different stores. In the table
// the key is therefore kept XOR the second word (flags, depth, eval and
// move): a mixed entry does not give back the key it is looked up with and
// is a miss. The entries that ttProbe and ttProbeMove hand out hold the
// position key itself.
struct HashEntry {
    u64 key;
    u8 flags;   // bound type | pieces << 2; 0 marks an empty entry
    u8 depth;   // remaining depth of the search that stored it
    i16 eval;
    u32 move;   // best move, FLAG_HASH clear; 0 if none
};
static_assert(sizeof(HashEntry) == 16, "a bucket of four entries must fill one cache line");

constexpr int HASH_DEFAULT_MB = 128;
constexpr int HASH_MIN_MB = 1;
constexpr int HASH_MAX_MB = 65536;
constexpr u64 ENTRIES_PER_MB = 65536;

extern HashEntry *hash_table;
extern u64 hash_entries;
extern u32 hash_mask;       // hash_entries - 4, as a 32-bit value
// Entries filled since the last clear: by the main thread, and by the
// helpers of searches that have ended (search/threads.h).
extern u64 &hash_used;
extern int root_pieces;     // pieces on the board at the root of the search

inline int entryPieces(const HashEntry *e) { return e->flags >> 2; }
inline int entryBound(const HashEntry *e) { return e->flags & 3; }

// First entry of the bucket of a key.
inline HashEntry *ttBucket(u64 key) { return hash_table + ((u32)key & hash_mask); }

// Starts loading the bucket of a key into the cache (harmless before the
// table exists: prefetching never faults). The bucket is asked for as
// non-temporal: it is used once or twice soon after and need not push the
// network's weights and the address translations out of the outer caches.
inline void ttPrefetch(u64 key) { __builtin_prefetch(hash_table + ((u32)key & hash_mask), 0, 0); }

// (Re)allocates the table with size_mb megabytes and reports the outcome;
// invalid sizes give the default, a failed allocation halves the size, and a
// failure at 1 MB ends the program with status 1.
void ttCreate(int size_mb);
// Frees the table (at the end of the program).
void ttFree();
// Empties the table and resets the search record, root_nodes and history.
void ttClear();
// Stores a node result (see ttStore in tt.cpp for the replacement order).
void ttStore(u64 key, int pieces, int depth, int alpha, int beta, u32 move, int eval);
// Search lookup: copies the entry of the key with the given piece count into
// *entry; false when there is none.
bool ttProbe(u64 key, int pieces, HashEntry *entry);
// Move lookup: copies the first entry of the key whatever its piece count
// into *entry; false when there is none.
bool ttProbeMove(u64 key, HashEntry *entry);
// The position key of a table entry as it lies in the table.
u64 ttEntryKey(const HashEntry *stored);
// Filled entries per mille.
int hashfull();
