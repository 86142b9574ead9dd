#include "search/tt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/memory.h"
#include "search/iterate.h"
#include "search/ordering.h"

HashEntry *hash_table = nullptr;
u64 hash_entries = 0;
u32 hash_mask = 0;
u64 hash_used = 0;
int root_pieces = 0;

namespace {

// Memory the table must leave to everything else, so that it never takes the
// last pages the system has.
constexpr u64 MEMORY_HEADROOM = 64ULL << 20;

size_t table_bytes = 0;
// Something was stored since the table was created or last cleared.
bool table_dirty = false;

bool validSize(int size_mb) {
    return size_mb >= HASH_MIN_MB && size_mb <= HASH_MAX_MB && (size_mb & (size_mb - 1)) == 0;
}

// The system may supply the pages of a fresh block only when they are first
// written, and a search that meets them one by one pays for them on its
// clock. Writing into every page here, inside the command that made the
// table, gets that done before the engine next answers. Pages are 4096 bytes
// or larger on every system the engine runs on.
void touchPages(void *block, size_t bytes) {
    constexpr size_t PAGE_STEP = 4096;
    volatile u8 *p = (volatile u8 *)block;
    for (size_t i = 0; i < bytes; i += PAGE_STEP) p[i] = 0;
}

// Allocates a zero-filled table of entries with every page in place; false
// when the memory is not there. A request the system could only grant on
// paper (its pages would be missing when they are touched) counts as a
// failure too.
bool allocateTable(u64 entries) {
    u64 bytes = entries * sizeof(HashEntry);
    u64 available = availableMemory();
    if (available < MEMORY_HEADROOM || bytes > available - MEMORY_HEADROOM) return false;
    void *block = allocateZeroed((size_t)bytes);
    if (!block) return false;
    touchPages(block, (size_t)bytes);
    hash_table = (HashEntry *)block;
    table_bytes = (size_t)bytes;
    table_dirty = false;
    return true;
}

}  // namespace

void ttFree() {
    freeZeroed(hash_table, table_bytes);
    hash_table = nullptr;
    table_bytes = 0;
    hash_entries = 0;
    hash_mask = 0;
    hash_used = 0;
}

void ttCreate(int size_mb) {
    ttFree();
    if (!validSize(size_mb)) {
        std::printf("info debug Creation of Transposition Table : invalid size (%i MB, reset to default)\n",
                    size_mb);
        size_mb = HASH_DEFAULT_MB;
    }
    for (;;) {
        hash_used = 0;
        hash_entries = (u64)size_mb * ENTRIES_PER_MB;
        hash_mask = (u32)(hash_entries - 4);
        if (allocateTable(hash_entries)) {
            std::printf("info debug Creation of Transposition Table : success (%i MB)\n", size_mb);
            return;
        }
        std::printf("info debug Creation of Transposition Table : failure (%i MB)\n", size_mb);
        if (size_mb == 1) {
            std::printf("info string Corvix will now halt...\n");
            std::exit(1);
        }
        size_mb /= 2;
    }
}

void ttClear() {
    std::memset(&search, 0, sizeof search);
    std::memset(root_nodes, 0, sizeof root_nodes);
    // Zeros are written over the table rather than its pages handed back to
    // the system: the pages stay in place, so the next search does not wait
    // for them.
    if (hash_table && table_dirty) std::memset(hash_table, 0, table_bytes);
    table_dirty = false;
    hash_used = 0;
    std::memset(history, 0, sizeof history);
}

void ttStore(u64 key, int pieces, int depth, int alpha, int beta, u32 move, int eval) {
    if (eval < -MATE || eval > MATE) {
        std::printf("info string Overflow error for eval : %d\n", eval);
        return;
    }
    HashEntry *bucket = ttBucket(key);
    HashEntry *slot = nullptr;
    // The entry of the same position, whatever it holds.
    for (int i = 0; i < 4; i++)
        if (bucket[i].key == key) {
            slot = &bucket[i];
            break;
        }
    // An empty entry.
    if (!slot)
        for (int i = 0; i < 4; i++)
            if (bucket[i].flags == 0) {
                slot = &bucket[i];
                hash_used++;
                break;
            }
    // An entry of a position with more pieces than the root: it cannot occur
    // again in this game's searches.
    if (!slot)
        for (int i = 0; i < 4; i++)
            if (entryPieces(&bucket[i]) > root_pieces) {
                slot = &bucket[i];
                break;
            }
    // The shallowest entry, the first among equals.
    if (!slot) {
        slot = &bucket[0];
        for (int i = 1; i < 4; i++)
            if (bucket[i].depth < slot->depth) slot = &bucket[i];
    }
    table_dirty = true;
    int bound = eval <= alpha ? UPPERBOUND : eval >= beta ? LOWERBOUND : EXACT;
    slot->key = key;
    slot->flags = (u8)(bound | (pieces << 2));
    slot->depth = (u8)depth;
    slot->eval = (i16)eval;
    slot->move = move;
}

const HashEntry *ttProbe(u64 key, int pieces) {
    const HashEntry *bucket = ttBucket(key);
    for (int i = 0; i < 4; i++)
        if (bucket[i].key == key && entryPieces(&bucket[i]) == pieces) return &bucket[i];
    return nullptr;
}

const HashEntry *ttProbeMove(u64 key) {
    const HashEntry *bucket = ttBucket(key);
    for (int i = 0; i < 4; i++)
        if (bucket[i].key == key) return &bucket[i];
    return nullptr;
}

int hashfull() { return hash_entries ? (int)(hash_used * 1000 / hash_entries) : 0; }
