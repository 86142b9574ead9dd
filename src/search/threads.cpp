#include "search/threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "eval/refresh_cache.h"
#include "search/iterate.h"
#include "search/pvs.h"
#include "search/tt.h"

namespace {

// A helper and the per-thread state that its board, evaluation and search
// code use, which the main thread sets up before each search.
struct HelperThread {
    int index = 0;        // 1, 2, ... (the main thread would be 0)
    // Under the pool's mutex:
    BoardState *board = nullptr;  // set by the helper when it starts
    SearchState *state = nullptr;
    u64 seen_search = 0;  // the last search it took part in
    bool quit = false;
    std::thread thread;
};

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;  // helpers: a search starts, or the end
    std::condition_variable done;  // main thread: the last helper has stopped, or a new one is ready
    u64 search_number = 0;         // raised by every startHelpers
    int running = 0;               // helpers still searching
    // Main thread only:
    std::vector<HelperThread *> helpers;
    bool started = false;          // startHelpers without stopHelpers yet
    bool counted = false;          // the helpers' nodes belong to the search in progress
    bool use = false;
};

// Never destroyed: the program may end (std::exit) while helpers are parked.
Pool *const pool = new Pool;

// Set by the main thread when it stops; every helper stops at its next look.
std::atomic<bool> helpers_stop{false};

// Iteration depths of a helper: odd helpers start one iteration deeper than
// the main thread, so that with two threads the helper fills the table one
// step ahead; helpers from the third thread on also skip every third depth,
// at places that differ between them, so that they do not all search the
// same tree at the same time.
int firstDepth(int index) { return 1 + (index & 1); }
int nextDepth(int index, int depth) {
    int next = depth + 1;
    if (index >= 2 && (next + index / 2) % 3 == 0) next++;
    return next;
}

// A helper's search of its curr_ply: iterative deepening with the aspiration
// windows of the main thread, until the main thread stops it (or depth
// MAX_PLY or a mate score is reached). Prints nothing. Kept out of
// helperMain, which claims the thread's state: no function that reads the
// thread slots may change them (platform/thread_slot.h).
__attribute__((noinline)) void helperSearch(int index) {
    std::memset(history, 0, sizeof history);
    std::memset(root_nodes, 0, sizeof root_nodes);
    history_version = 0;
    SearchState *own = searchState();
    own->completed_depth = 0;

    Ply *root = curr_ply;
    updateAttacks();
    generateMoves(GEN_ALL);
    if (root->generated == 0) return;
    const int in_check = root->us->attacks[ATK_CHECKERS] != 0;

    int depth = firstDepth(index);
    int alpha = -INF, beta = INF, fails = 0;
    while (depth <= MAX_PLY) {
        search.depth = depth;
        search.seldepth = depth;
        const int r = alphaBeta(0, depth, alpha, beta, in_check);
        if (search.stop) break;
        if (alpha < r && r < beta) {
            own->completed_depth = depth;
            own->completed_move = search.bestmove;
            own->completed_score = r;
            if (isMateScore(r)) break;
            depth = nextDepth(index, depth);
            alpha = (r > -59990 ? r : -59990) - 10;
            beta = (r < 59990 ? r : 59990) + 10;
            fails = 0;
        } else {
            fails++;
            alpha = fails > 999 || r - 10 * fails <= -INF ? -INF : r - 10 * fails;
            beta = fails > 999 || r + 10 * fails >= INF ? INF : r + 10 * fails;
        }
    }
}

void helperMain(HelperThread *h) {
    BoardState *board = boardStateClaim();
    board->current = board->stack;
    board->count = board->offset = 0;
    threadRefreshCacheClaim()->valid = false;
    SearchState *state = searchStateClaim();
    state->helper = true;
    state->published_nodes.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        h->board = board;
        h->state = state;
    }
    pool->done.notify_all();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(pool->mutex);
            pool->wake.wait(lock, [h] { return h->quit || h->seen_search != pool->search_number; });
            if (h->quit) break;
            h->seen_search = pool->search_number;
        }
        helperSearch(h->index);
        state->published_nodes.store(state->record.nodes, std::memory_order_relaxed);
        state->published_fills.store(state->tt_fills, std::memory_order_relaxed);
        std::lock_guard<std::mutex> lock(pool->mutex);
        if (--pool->running == 0) pool->done.notify_all();
    }
    searchStateRelease();
    threadRefreshCacheRelease();
    boardStateRelease();
}

}  // namespace

int threadCount() { return (int)pool->helpers.size() + 1; }

void endHelperThreads() {
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        for (HelperThread *h : pool->helpers) h->quit = true;
    }
    pool->wake.notify_all();
    for (HelperThread *h : pool->helpers) {
        h->thread.join();
        delete h;
    }
    pool->helpers.clear();
}

int setThreadCount(int count) {
    endHelperThreads();
    for (int i = 1; i < count; i++) {
        HelperThread *h = new (std::nothrow) HelperThread;
        if (!h) break;
        h->index = i;
        h->seen_search = pool->search_number;
        try {
            h->thread = std::thread(helperMain, h);
        } catch (...) {
            delete h;
            break;
        }
        pool->helpers.push_back(h);
    }
    // Ready when each has its state.
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (HelperThread *h : pool->helpers) pool->done.wait(lock, [h] { return h->state != nullptr; });
    return threadCount();
}

void useHelpers(bool use) {
    pool->use = use;
    pool->counted = false;
}

void startHelpers() {
    if (!pool->use || pool->helpers.empty()) return;
    // The helpers are parked: their state is the main thread's to set.
    helpers_stop.store(false, std::memory_order_relaxed);
    for (HelperThread *h : pool->helpers) {
        copyPositionTo(h->board);
        // The limits of the main thread's record ("searchmoves" among them),
        // with counters of its own.
        SearchRecord &record = h->state->record;
        record = search;
        record.depth = record.seldepth = record.score = 0;
        record.bestmove = record.stop = record.currmove = record.currmovenumber = 0;
        record.nodes = 0;
        record.multipv = 0;
        record.excluded_count = 0;
        h->state->published_nodes.store(0, std::memory_order_relaxed);
        h->state->tt_fills = 0;
        h->state->published_fills.store(0, std::memory_order_relaxed);
    }
    pool->counted = true;
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->search_number++;
        pool->running = (int)pool->helpers.size();
    }
    pool->started = true;
    pool->wake.notify_all();
}

void stopHelpers() {
    if (!pool->started) return;
    helpers_stop.store(true, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->done.wait(lock, [] { return pool->running == 0; });
    pool->started = false;
    // The helpers' fills now count as the main thread's.
    for (HelperThread *h : pool->helpers) {
        hash_used += h->state->published_fills.load(std::memory_order_relaxed);
        h->state->published_fills.store(0, std::memory_order_relaxed);
    }
    // A helper that completed a deeper iteration than the main thread (whose
    // last completed one is search.depth - 1) gives the move and score;
    // not when the main thread reports several lines, whose best one it is.
    if (search.multipv > 1) return;
    int best_depth = search.depth - 1;
    for (HelperThread *h : pool->helpers) {
        const SearchState *state = h->state;
        if (state->completed_depth > best_depth && state->completed_move) {
            best_depth = state->completed_depth;
            search.bestmove = state->completed_move;
            search.score = state->completed_score;
        }
    }
}

u64 searchNodes() {
    u64 nodes = search.nodes;
    if (pool->counted)
        for (HelperThread *h : pool->helpers) nodes += h->state->published_nodes.load(std::memory_order_relaxed);
    return nodes;
}

u64 helperFills() {
    u64 fills = 0;
    if (pool->counted)
        for (HelperThread *h : pool->helpers) fills += h->state->published_fills.load(std::memory_order_relaxed);
    return fills;
}

u32 helperCheckpoint() {
    SearchState *own = searchState();
    own->published_nodes.store(search.nodes, std::memory_order_relaxed);
    own->published_fills.store(own->tt_fills, std::memory_order_relaxed);
    if (helpers_stop.load(std::memory_order_relaxed)) search.stop = 1;
    return search.stop;
}
