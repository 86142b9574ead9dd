// Shared set-up of the search unit tests: a small table, the start-up tables
// of the search, and the network for the tests that evaluate.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/network.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/tables.h"
#include "search/tt.h"
#include "support/engine_fixture.h"
#include "unit/board_helpers.h"

namespace search_test {

using board_test::captureStdout;

// A 1 MB table, empty, and a clean search record.
inline void freshSearch() {
    static bool tables = false;
    if (!tables) {
        initMoveCentrality();
        initReductionTable();
        tables = true;
    }
    if (hash_entries != ENTRIES_PER_MB) captureStdout([] { ttCreate(1); });
    ttClear();
}

inline void requireNetwork() {
    ASSERT_TRUE(networkLoadedForTests()) << "the network file " << NNUE_FILE
                                         << " is missing from the working directory";
}

// Loads a position that must be accepted and lists its legal moves.
inline void setUp(const char *fen) {
    ASSERT_TRUE(board_test::load(fen)) << fen;
    updateAttacks();
    generateMoves(GEN_ALL);
}

}  // namespace search_test
