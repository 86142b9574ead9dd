#include "search/tt.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "platform/processors.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/threads.h"

HashEntry *hash_table = nullptr;
u64 hash_entries = 0;
u32 hash_mask = 0;
int root_pieces = 0;
// Counted by the main thread, in a cache line of its own: the variables
// above are read by every probe of every thread.
struct alignas(64) UsedCount {
    u64 count;
    char padding[56];
};
UsedCount hash_used_line = {0, {}};
u64 &hash_used = hash_used_line.count;

namespace {

// Memory the table must leave to everything else, so that it never takes the
// last pages the system has.
constexpr u64 MEMORY_HEADROOM = 64ULL << 20;

size_t table_bytes = 0;
// Something was stored since the table was created or last cleared (set
// once by whichever thread stores first, read by every store: a cache line
// of its own).
struct alignas(64) DirtyFlag {
    bool set;
    char padding[63];
};
DirtyFlag table_dirty_line = {false, {}};
bool &table_dirty = table_dirty_line.set;

// The two words of an entry, each read and written whole (several threads
// use the table at once).
inline u64 loadWord(const u64 *word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }
inline void storeWord(u64 *word, u64 value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }
inline u64 *dataWord(HashEntry *e) { return (u64 *)&e->flags; }
inline const u64 *dataWord(const HashEntry *e) { return (const u64 *)&e->flags; }

// The fields of a data word.
inline u8 dataFlags(u64 data) { return (u8)data; }
inline u8 dataDepth(u64 data) { return (u8)(data >> 8); }
inline int dataPieces(u64 data) { return dataFlags(data) >> 2; }

// Copies an entry with its position key.
inline void unpackEntry(u64 key, u64 data, HashEntry *entry) {
    entry->key = key;
    std::memcpy(&entry->flags, &data, sizeof data);
}

bool validSize(int size_mb) {
    return size_mb >= HASH_MIN_MB && size_mb <= HASH_MAX_MB && (size_mb & (size_mb - 1)) == 0;
}

// Runs work(begin, end) over the byte range [0, bytes) of the table, cut into
// one slice per processor the engine may run on when the table is large
// enough for them to pay. Touching fresh pages costs the system a fault per
// page, and on several processors those faults are served side by side;
// writing zeros over a large table goes faster on several too. This runs
// only while no search does, inside the command that needs it. A slice whose
// thread the system will not start is done by the calling thread.
template <typename Work>
void overSlices(size_t bytes, Work work) {
    constexpr size_t MIN_SLICE = 64ULL << 20;
    constexpr size_t SLICE_ALIGN = 2ULL << 20;  // whole large pages
    constexpr size_t MAX_SLICES = 64;
    size_t slices = std::min({(size_t)usableProcessors(), bytes / MIN_SLICE, MAX_SLICES});
    size_t step = slices > 1 ? (bytes / slices + SLICE_ALIGN - 1) & ~(SLICE_ALIGN - 1) : bytes;
    std::vector<std::thread> threads;
    // The calling thread takes the first slice, after starting the others.
    for (size_t begin = step; begin < bytes; begin += step) {
        size_t end = std::min(begin + step, bytes);
        try {
            threads.emplace_back(work, begin, end);
        } catch (const std::system_error &) {
            work(begin, end);
        }
    }
    work((size_t)0, std::min(step, bytes));
    for (std::thread &t : threads) t.join();
}

// The system may supply the pages of a fresh block only when they are first
// written, and a search that meets them one by one pays for them on its
// clock. Writing into every page here, inside the command that made the
// table, gets that done before the engine next answers. Pages are 4096 bytes
// or larger on every system the engine runs on.
void touchPages(void *block, size_t bytes) {
    overSlices(bytes, [block](size_t begin, size_t end) {
        constexpr size_t PAGE_STEP = 4096;
        volatile u8 *p = (volatile u8 *)block;
        for (size_t i = begin; i < end; i += PAGE_STEP) p[i] = 0;
    });
}

// Writes zeros over the whole table.
void zeroTable(void *block, size_t bytes) {
    overSlices(bytes, [block](size_t begin, size_t end) { std::memset((u8 *)block + begin, 0, end - begin); });
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
    if (hash_table && table_dirty) zeroTable(hash_table, table_bytes);
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
    // Each entry read once: its key and its data word.
    u64 keys[4], data[4];
    for (int i = 0; i < 4; i++) {
        data[i] = loadWord(dataWord(&bucket[i]));
        keys[i] = loadWord(&bucket[i].key) ^ data[i];
    }
    int slot = -1;
    // The entry of the same position, whatever it holds.
    for (int i = 0; i < 4; i++)
        if (keys[i] == key) {
            slot = i;
            break;
        }
    // An empty entry.
    if (slot < 0)
        for (int i = 0; i < 4; i++)
            if (dataFlags(data[i]) == 0) {
                slot = i;
                // Each thread counts its own fills: one counter written by
                // several threads would go back and forth between their
                // processors' caches at every store.
                if (isMainThread()) hash_used++;
                else searchState()->tt_fills++;
                break;
            }
    // An entry of a position with more pieces than the root: it cannot occur
    // again in this game's searches.
    if (slot < 0)
        for (int i = 0; i < 4; i++)
            if (dataPieces(data[i]) > root_pieces) {
                slot = i;
                break;
            }
    // The shallowest entry, the first among equals.
    if (slot < 0) {
        slot = 0;
        for (int i = 1; i < 4; i++)
            if (dataDepth(data[i]) < dataDepth(data[slot])) slot = i;
    }
    if (!__atomic_load_n(&table_dirty, __ATOMIC_RELAXED)) __atomic_store_n(&table_dirty, true, __ATOMIC_RELAXED);
    int bound = eval <= alpha ? UPPERBOUND : eval >= beta ? LOWERBOUND : EXACT;
    HashEntry e;
    e.flags = (u8)(bound | (pieces << 2));
    e.depth = (u8)depth;
    e.eval = (i16)eval;
    e.move = move;
    u64 word;
    std::memcpy(&word, &e.flags, sizeof word);
    storeWord(&bucket[slot].key, key ^ word);
    storeWord(dataWord(&bucket[slot]), word);
}

bool ttProbe(u64 key, int pieces, HashEntry *entry) {
    const HashEntry *bucket = ttBucket(key);
    for (int i = 0; i < 4; i++) {
        const u64 data = loadWord(dataWord(&bucket[i]));
        if ((loadWord(&bucket[i].key) ^ data) == key && dataPieces(data) == pieces) {
            unpackEntry(key, data, entry);
            return true;
        }
    }
    return false;
}

bool ttProbeMove(u64 key, HashEntry *entry) {
    const HashEntry *bucket = ttBucket(key);
    for (int i = 0; i < 4; i++) {
        const u64 data = loadWord(dataWord(&bucket[i]));
        if ((loadWord(&bucket[i].key) ^ data) == key) {
            unpackEntry(key, data, entry);
            return true;
        }
    }
    return false;
}

u64 ttEntryKey(const HashEntry *stored) { return loadWord(&stored->key) ^ loadWord(dataWord(stored)); }

int hashfull() { return hash_entries ? (int)((hash_used + helperFills()) * 1000 / hash_entries) : 0; }
