// The options that the search reads: a value is taken only when it is valid
// for its option, and "Move Overhead" is what the clock arithmetic keeps back.
#include <gtest/gtest.h>

#include <cstring>

#include "frontend/commands.h"
#include "frontend/options.h"
#include "search/iterate.h"
#include "search/timecontrol.h"

namespace {

void setOption(const char *command) {
    std::strcpy(input_buffer, command);
    setOptionCommand();
}

TEST(Options, ValuesAreTakenOnlyWhenValid) {
    struct Case {
        const char *command;
        int multipv;
        u64 overhead;
        bool ponder;
    };
    const Case cases[] = {
        {"setoption name MultiPV value 4", 4, 25, false},
        {"setoption name MultiPV value 0", 4, 25, false},
        {"setoption name MultiPV value 257", 4, 25, false},
        {"setoption name MultiPV value 3x", 4, 25, false},
        {"setoption name multipv value 256", 256, 25, false},
        {"setoption name Move Overhead value 0", 256, 0, false},
        {"setoption name Move Overhead value 5000", 256, 5000, false},
        {"setoption name Move Overhead value 5001", 256, 5000, false},
        {"setoption name Move Overhead value -1", 256, 5000, false},
        {"setoption name Ponder value TRUE", 256, 5000, true},
        {"setoption name Ponder value 1", 256, 5000, true},
        {"setoption name Ponder value false", 256, 5000, false},
        {"setoption name MultiPV value 1", 1, 5000, false},
        {"setoption name Move Overhead value 25", 1, 25, false},
    };
    for (const Case &c : cases) {
        setOption(c.command);
        EXPECT_EQ(multipv_lines, c.multipv) << c.command;
        EXPECT_EQ(move_overhead_ms, c.overhead) << c.command;
        EXPECT_EQ(ponder_enabled, c.ponder) << c.command;
    }
}

TEST(Options, MoveOverheadReplacesTheFixedMargin) {
    struct Case {
        const char *overhead;
        const char *go;
        u64 budget;
    };
    const Case cases[] = {
        {"25", "go wtime 60000", 1450},
        {"100", "go wtime 60000", 1375},
        {"0", "go wtime 60000", 1475},
        // The cap by the clock keeps the overhead back as well.
        {"100", "go wtime 300 winc 2000", 200},
        {"25", "go wtime 300 winc 2000", 275},
    };
    for (const Case &c : cases) {
        std::string set = std::string("setoption name Move Overhead value ") + c.overhead;
        setOption(set.c_str());
        std::memset(&search, 0, sizeof search);
        setGoLimits(c.go, true);
        EXPECT_EQ(search.time_budget, c.budget) << c.overhead << " / " << c.go;
    }
    EXPECT_EQ(move_overhead_ms, MOVE_OVERHEAD_DEFAULT_MS);
}

}  // namespace
