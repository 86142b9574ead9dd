// The search state of one thread: the search record and the ordering
// tables. The command loop's thread, which runs every search it is asked
// for and prints all its lines, has one, and so has each helper thread of a
// search (search/threads.h). The search code reaches
// the calling thread's through the names below, which read like the globals
// they stand for (as errno does): search, history, root_nodes and
// history_version. It is part of search/iterate.h (it needs SearchRecord
// from there): include that header.
#pragma once

// <algorithm> declares std::search: it must be read before the name search
// below stands for the record.
#include <algorithm>
#include <atomic>

#include "board/types.h"
#include "platform/thread_slot.h"

struct SearchState {
    SearchRecord record;          // search
    // Quiet-move history by [colour to move][moved field (7 - type)][to-square].
    i32 history_table[2][8][64];  // history
    // Nodes spent on each root move (by from * 64 + to) when it was last searched.
    u64 root_node_counts[4096];   // root_nodes
    // Raised whenever history changes during a search, so that a move selected
    // ahead of time can be known to be still the one pickNextMove would select.
    u32 history_changes;          // history_version
    // A helper thread's node count as the main thread may read it while the
    // helper searches (refreshed at every look at the clock).
    std::atomic<u64> published_nodes;
    // A helper's table entries filled from empty (hash_used is the main
    // thread's), and their number as the main thread may read it.
    u64 tt_fills;
    std::atomic<u64> published_fills;
    bool helper;  // a helper thread's (false in the command loop's thread)
    // A helper's last completed iteration: its depth (0 before the first),
    // best move and score.
    i32 completed_depth;
    u32 completed_move;
    i32 completed_score;
};

// searchState(): the calling thread's search state.
CORVIX_THREAD_STATE(SearchState, searchState, THREAD_SLOT_SEARCH)

// Whether the calling thread is the command loop's, which owns the output,
// the input and the limits of a search.
inline bool isMainThread() { return !searchState()->helper; }

#define search (searchState()->record)
#define history (searchState()->history_table)
#define root_nodes (searchState()->root_node_counts)
#define history_version (searchState()->history_changes)
