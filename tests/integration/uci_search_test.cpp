// The search through the protocol: the root answers that need no search, mate
// lines, depth limits, the format of every line, aspiration failures, the
// progress line, stopping on input within 100 ms, movetime and clocks, the
// Hash option with its failure path, the table being emptied, debug and bench.
#include <sys/resource.h>

#include <regex>
#include <string>
#include <vector>

#include "integration/referee_board.h"
#include "integration/search_support.h"

using namespace corvix_test;

namespace {

class UciSearch : public EngineTest {
protected:
    // A fresh engine, one position and one "go"; the output up to "bestmove".
    std::vector<std::string> searchOnce(const std::string &position, const std::string &go) {
        Engine e(GetParam());
        EXPECT_TRUE(e.ok());
        std::vector<std::string> lines = e.search(position + "\n" + go);
        EXPECT_TRUE(e.quit());
        return lines;
    }
};

std::vector<std::string> iterationLines(const std::vector<std::string> &lines) {
    std::vector<std::string> out;
    for (const std::string &l : lines)
        if (isIterationLine(l)) out.push_back(l);
    return out;
}

const std::regex FINAL_LINE("info score (cp -?[0-9]+|mate -?[0-9]+) ");
const std::regex PROGRESS_LINE(
    "info depth [0-9]+ currmove [a-h][1-8][a-h][1-8][nbrq]? currmovenumber [0-9]+ time [0-9]+ nodes 2000000 "
    "nps [0-9]+ hashfull [0-9]+");

// Checks the lines of a normal search: iteration lines, then the final lines.
void checkSearchOutput(const std::vector<std::string> &lines) {
    ASSERT_GE(lines.size(), 3u);
    long long last_nodes = 0;
    size_t i = 0;
    for (; i < lines.size() && startsWith(lines[i], "info depth "); i++) {
        if (lines[i].find(" currmove ") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(lines[i], PROGRESS_LINE)) << lines[i];
            continue;
        }
        EXPECT_TRUE(std::regex_match(lines[i], ITERATION_LINE)) << lines[i];
        EXPECT_GE(field(lines[i], "seldepth"), field(lines[i], "depth")) << lines[i];
        EXPECT_GE(field(lines[i], "nodes"), last_nodes) << lines[i];
        EXPECT_LE(field(lines[i], "hashfull"), 1000) << lines[i];
        last_nodes = field(lines[i], "nodes");
    }
    if (i < lines.size() && startsWith(lines[i], "info string Mate in ")) i++;
    ASSERT_EQ(i + 2, lines.size()) << "unexpected line: " << lines[i];
    EXPECT_TRUE(std::regex_match(lines[i], FINAL_LINE)) << lines[i];
    EXPECT_TRUE(std::regex_match(lines[i + 1], BESTMOVE_LINE)) << lines[i + 1];
}

TEST_P(UciSearch, RootAnswersWithoutSearch) {
    struct Case {
        const char *name;
        std::string position, go;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        {"stalemate", "position fen 7k/5Q2/8/8/8/8/8/6K1 b - - 0 1", "go depth 5",
         {"info string Game over (pat) !", "bestmove 0000"}},
        {"checkmate", "position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "go wtime 1000 btime 1000",
         {"info string Game over (mate) !", "bestmove 0000"}},
        // Mate and stalemate come before the draw rules.
        {"checkmate with the fifty moves run out", "position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 100 90", "go depth 5",
         {"info string Game over (mate) !", "bestmove 0000"}},
        {"stalemate with the fifty moves run out", "position fen 7k/5Q2/8/8/8/8/8/6K1 b - - 120 90", "go depth 5",
         {"info string Game over (pat) !", "bestmove 0000"}},
        {"single reply under the clock", "position fen 7k/8/6K1/8/8/8/P7/1R6 b - - 0 1",
         "go wtime 60000 btime 60000", {"bestmove h8g8"}},
    };
    for (const Case &c : cases) EXPECT_EQ(searchOnce(c.position, c.go), c.output) << c.name;
}

TEST_P(UciSearch, DrawnRootIsAnnouncedAndStillAnsweredWithALegalMove) {
    // The GUI claims or adjudicates such draws; until it does, the game goes
    // on and needs a move. Every score shown is the draw score.
    struct Case {
        const char *name;
        std::string position, go;
    };
    std::string repeated;
    for (int i = 0; i < 500; i++) repeated += " g1f3 g8f6 f3g1 f6g8";
    const Case cases[] = {
        {"bare kings", "position fen 8/8/8/4k3/8/8/8/4K3 w - - 0 1", "go depth 5"},
        {"fifty moves", "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 100 90", "go depth 5"},
        {"fifty moves, a capture wins a rook", "position fen 8/8/8/4k3/8/8/r7/R3K3 w - - 150 90", "go depth 5"},
        {"third occurrence", "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8", "go"},
        {"third occurrence under the clock", "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8",
         "go wtime 2000 btime 2000"},
        {"a game of 2000 plies", "position startpos moves" + repeated, "go depth 4"},
    };
    initRefereeBoard();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = searchOnce(c.position, c.go);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines.front(), "info string Game over (draw) !");
        EXPECT_EQ(lines[lines.size() - 2], "info score cp 0 ");
        const std::string &last = lines.back();
        ASSERT_TRUE(startsWith(last, "bestmove ")) << last;
        ASSERT_TRUE(refereePosition(c.position));
        EXPECT_TRUE(refereeLegal(last.substr(9))) << last;
        std::vector<std::string> iterations = iterationLines(lines);
        EXPECT_FALSE(iterations.empty());
        for (const std::string &line : iterations) {
            EXPECT_NE(line.find(" score cp 0 pv "), std::string::npos) << line;
            EXPECT_EQ(line.find("bound"), std::string::npos) << line;
        }
    }
}

TEST_P(UciSearch, MateLines) {
    struct Case {
        const char *name;
        std::string position, go;
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"mate in one ends after depth 1", "position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "go depth 8",
         {"info string Mate in 1 half-moves !", "info score mate 1 ", "bestmove a1a8"}},
        {"single reply searched under a depth limit", "position fen 7k/8/6K1/8/8/8/P7/1R6 b - - 0 1",
         "go depth 6", {"info string Mate in 2 half-moves !", "info score mate -1 ", "bestmove h8g8"}},
        {"a lone king's mate is seen without tables", "position fen 7k/5Q2/6K1/8/8/8/8/8 w - - 0 1",
         "go depth 4", {"info string Mate in 1 half-moves !", "info score mate 1 ", "bestmove f7e8"}},
        // Checkmate ends the game before the fifty moves can be claimed.
        {"a mate that completes the fifty moves", "position fen 6k1/5ppp/8/8/8/8/5PPP/1R4K1 w - - 99 60",
         "go depth 6", {"info string Mate in 1 half-moves !", "info score mate 1 ", "bestmove b1b8"}},
        {"the same against a lone king", "position fen 7k/5Q2/6K1/8/8/8/8/8 w - - 99 1", "go depth 4",
         {"info string Mate in 1 half-moves !", "info score mate 1 ", "bestmove f7e8"}},
        {"promotion text", "position fen 8/4P1k1/8/8/8/8/8/4K3 w - - 0 1", "go depth 3",
         {"info score cp 13880 ", "bestmove e7e8q"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = searchOnce(c.position, c.go);
        checkSearchOutput(lines);
        ASSERT_GE(lines.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(lines.end() - c.tail.size(), lines.end()), c.tail);
        if (c.tail.size() == 3) {
            std::vector<std::string> iterations = iterationLines(lines);
            ASSERT_EQ(iterations.size(), 1u);
            EXPECT_EQ(field(iterations[0], "depth"), 1);
        }
    }
}

TEST_P(UciSearch, DepthLimits) {
    struct Case {
        std::string position, go;
        int last_depth;
    };
    const std::string krk = "position fen 8/8/8/4k3/8/8/3RK3/8 w - - 0 1";
    const Case cases[] = {
        {"position startpos", "go depth 1", 1},  {"position startpos", "go depth 0", 1},
        {"position startpos", "go depth -4", 1}, {"position startpos", "go", 10},
        {"position startpos", "  go   depth\t5 ", 5}, {krk, "go depth 0x10", 16},
        {krk, "go depth 99", 63},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.go);
        std::vector<std::string> lines = searchOnce(c.position, c.go);
        checkSearchOutput(lines);
        std::vector<std::string> iterations = iterationLines(lines);
        ASSERT_FALSE(iterations.empty());
        EXPECT_EQ(field(iterations.back(), "depth"), c.last_depth);
        // Every depth from 1 to the last one completes, in order.
        int expected = 1;
        for (const std::string &l : iterations) {
            int d = (int)field(l, "depth");
            if (d == expected + 1) expected = d;
            EXPECT_EQ(d, expected) << l;
        }
    }
}

TEST_P(UciSearch, AspirationFailuresRepeatTheDepth) {
    // The fourth bench position fails high at several depths.
    std::vector<std::string> lines =
        searchOnce("position fen r5k1/p2qp1bp/6p1/1pP3P1/2n1P3/1QP1B3/P3N1PP/R4K2 b - - 0 17", "go depth 9");
    checkSearchOutput(lines);
    std::vector<std::string> iterations = iterationLines(lines);
    int bounds = 0;
    for (size_t i = 0; i < iterations.size(); i++) {
        bool bound = iterations[i].find("bound pv") != std::string::npos;
        if (!bound) continue;
        bounds++;
        // Depths 1 and 2 use the full window and cannot fail.
        EXPECT_GE(field(iterations[i], "depth"), 3) << iterations[i];
        ASSERT_LT(i + 1, iterations.size());
        EXPECT_EQ(field(iterations[i + 1], "depth"), field(iterations[i], "depth")) << iterations[i + 1];
    }
    EXPECT_GT(bounds, 0);
}

TEST_P(UciSearch, ProgressLineEveryTwoMillionNodes) {
    if (SANITIZED) GTEST_SKIP() << "two million nodes take too long with the sanitizers";
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    // Fewer than 2,000,000 nodes: no progress line.
    std::vector<std::string> lines = e.search("position startpos\ngo depth 6");
    checkSearchOutput(lines);
    for (const std::string &l : lines) EXPECT_EQ(l.find("currmove"), std::string::npos) << l;
    ASSERT_TRUE(e.send("go infinite"));
    std::string line;
    bool found = false;
    while (!found && e.process().readLine(line, 60000)) found = line.find(" currmove ") != std::string::npos;
    ASSERT_TRUE(found);
    EXPECT_TRUE(std::regex_match(line, PROGRESS_LINE)) << line;
    lines = e.search("stop");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), BESTMOVE_LINE)) << lines.back();
    EXPECT_TRUE(e.quit());
}

// Time from sending a line during an endless search to the "bestmove" line.
TEST_P(UciSearch, InputStopsAnEndlessSearchAtOnce) {
    // Input is looked at every 10000 nodes, a few milliseconds apart; the
    // limit leaves room for a busy two-core machine.
    const long long limit = 300 * SLOWDOWN;
    struct Case {
        const char *go;
        const char *line;
        std::vector<std::string> after;  // lines after "bestmove"
        bool exits;
    };
    const Case cases[] = {
        {"go infinite", "stop", {}, false},
        // "isready" is answered during the search (see uci_protocol_test).
        {"go infinite", "ucinewgame", {}, false},
        {"go infinite", "quit", {}, true},
        {"go infinite", "", {}, true},  // the end of input
        // No mate in one here: only the input can end this search.
        {"go mate 1", "stop", {}, false},
        {"go mate 1", "", {}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.go) + ", then " + (*c.line ? c.line : "end of input"));
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send("position startpos moves e2e4"));
        ASSERT_TRUE(e.send(c.go));
        std::string line;
        // Let it search for a while: past its first touches of the table's
        // pages, which can hold a fresh engine's first nodes back for some
        // hundred milliseconds on a busy machine, and its first input check.
        const long long searching_until = nowMs() + 1000;
        while (nowMs() < searching_until) e.process().readLine(line, (int)(searching_until - nowMs()));
        long long took = timeToBestmove(e, c.line, line);
        ASSERT_GE(took, 0);
        EXPECT_TRUE(std::regex_match(line, BESTMOVE_LINE)) << line;
        EXPECT_LE(took, limit);
        for (const std::string &expected : c.after) {
            ASSERT_TRUE(e.process().readLine(line, 5000));
            EXPECT_EQ(line, expected);
        }
        if (c.exits) {
            ExitInfo exit = e.process().wait(2000 * SLOWDOWN);
            EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
        } else {
            EXPECT_TRUE(e.quit());
        }
    }
}

TEST_P(UciSearch, EndOfInputLetsABoundedSearchFinish) {
    Process p(program(), {}, binaryDir());
    ASSERT_TRUE(p.send("position startpos"));
    ASSERT_TRUE(p.send("go depth 7"));
    p.closeStdin();
    std::string out;
    ASSERT_TRUE(p.readToEnd(out, 120000 * SLOWDOWN));
    ExitInfo exit = p.wait(5000);
    EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
    std::vector<std::string> lines = splitLines(out);
    std::vector<std::string> iterations = iterationLines(lines);
    ASSERT_FALSE(iterations.empty());
    EXPECT_EQ(field(iterations.back(), "depth"), 7);
    EXPECT_TRUE(startsWith(lines.back(), "bestmove "));
}

TEST_P(UciSearch, MovetimeAndClocks) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    struct Case {
        const char *go;
        long long min_ms, max_ms;
        bool depth_one_only;  // a clock budget below 5 ms: the depth-1 answer
    };
    const Case cases[] = {
        {"go movetime 1000", 1000, 1200 + (SANITIZED ? 800 : 0), false},
        // 25 ms for this move: the half-budget rule ends it after an iteration.
        {"go wtime 3000 btime 3000", 0, 300 * SLOWDOWN, false},
        // Nothing left: depth 1 only.
        {"go wtime 500 btime 500", 0, 300 * SLOWDOWN, true},
        {"go wtime 29 btime 29 winc 10000 binc 10000", 0, 300 * SLOWDOWN, true},
        // Negative numbers are 0, not an endless budget.
        {"go movetime -5", 0, 300 * SLOWDOWN, false},
        {"go wtime -1 btime -1 winc -10 binc -10", 0, 300 * SLOWDOWN, true},
        {"go depth x", 0, 300 * SLOWDOWN, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.go);
        long long start = nowMs();
        std::vector<std::string> lines = e.search(std::string("position startpos moves d2d4\n") + c.go);
        long long took = nowMs() - start;
        checkSearchOutput(lines);
        EXPECT_GE(took, c.min_ms);
        EXPECT_LE(took, c.max_ms);
        std::vector<std::string> iterations = iterationLines(lines);
        if (c.depth_one_only) {
            ASSERT_EQ(iterations.size(), 1u);
            EXPECT_EQ(field(iterations[0], "depth"), 1);
        } else {
            // Iterations 1 and 2 run before any clock rule applies.
            ASSERT_GE(iterations.size(), 2u);
            EXPECT_EQ(field(iterations[1], "depth"), 2);
        }
    }
    EXPECT_TRUE(e.quit());
}

TEST_P(UciSearch, HashOption) {
    struct Case {
        std::string command;
        std::vector<std::string> output;
    };
    auto ok = [](int mb) { return "info debug Creation of Transposition Table : success (" + std::to_string(mb) + " MB)"; };
    auto invalid = [](const std::string &mb) {
        return "info debug Creation of Transposition Table : invalid size (" + mb + " MB, reset to default)";
    };
    const Case cases[] = {
        {"setoption name Hash value 64", {ok(64)}},
        {"setoption name Hash value 1", {ok(1)}},
        {"setoption name Hash value 100", {invalid("100"), ok(128)}},
        {"setoption name Hash value 0", {invalid("0"), ok(128)}},
        {"setoption name Hash value 65537", {invalid("65537"), ok(128)}},
        {"setoption name Hash value -2", {invalid("-2"), ok(128)}},
        {"setoption name Hash value 99999999999", {invalid("2147483647"), ok(128)}},
        {"setoption name Hash value x", {"info string Option Hash needs a whole number, not 'x'"}},
        {"xsetoption name Hash value 64", {}},
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    for (const Case &c : cases) {
        std::vector<std::string> lines;
        ASSERT_TRUE(e.send(c.command));
        ASSERT_TRUE(e.send("isready"));
        ASSERT_TRUE(e.process().readUntil("readyok", lines, 10000));
        lines.pop_back();
        EXPECT_EQ(lines, c.output) << c.command;
    }
    EXPECT_TRUE(e.quit());
}

// The largest size: what the memory cannot back fails and is halved. The
// table that fits takes most of the machine's memory, every page of it, so
// one build makes it, and no other test does at the same time.
TEST(HashTable, TheLargestSizeIsHalvedToWhatTheMemoryBacks) {
    // Most of this test is the system putting gigabytes of pages in place;
    // the release build covers it, the sanitizers would only slow it down.
    if (SANITIZED) GTEST_SKIP() << "run in the release build";
    ASSERT_FALSE(testedIsas().empty());
    Engine e(testedIsas().front());
    ASSERT_TRUE(e.ok());
    std::vector<std::string> lines;
    ASSERT_TRUE(e.send("setoption name Hash value 65536"));
    ASSERT_TRUE(e.send("isready"));
    // The pages of a table of many gigabytes are put in place before the
    // answer, which takes a while.
    ASSERT_TRUE(e.process().readUntil("readyok", lines, 180000));
    ASSERT_GE(lines.size(), 2u);
    int mb = 65536;
    for (size_t i = 0; i + 2 < lines.size(); i++, mb /= 2)
        EXPECT_EQ(lines[i], "info debug Creation of Transposition Table : failure (" + std::to_string(mb) + " MB)");
    EXPECT_EQ(lines[lines.size() - 2], "info debug Creation of Transposition Table : success (" + std::to_string(mb) + " MB)");
    // The engine goes on with the smaller table.
    checkSearchOutput(e.search("position startpos\ngo depth 4"));
    ASSERT_TRUE(e.send("setoption name Hash value 1"));
    lines.clear();
    ASSERT_TRUE(e.process().readUntil("info debug Creation of Transposition Table : success (1 MB)", lines, 60000));
    EXPECT_TRUE(e.quit());
}

TEST_P(UciSearch, FailedAllocationsHalveTheSize) {
    if (SANITIZED) GTEST_SKIP() << "an address-space limit does not go with the sanitizers";
    // About 680 MB of address space: 2048 and 1024 MB fail, 512 MB fits.
    RunResult r = runScript("/bin/sh",
                            "setoption name Hash value 2048\nposition startpos\ngo depth 3\n",
                            binaryDir(), 60000, {"-c", "ulimit -v 700000; exec " + program()});
    EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit) << r.err;
    std::vector<std::string> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), startupLines().size() + 3);
    std::vector<std::string> after(lines.begin() + startupLines().size(), lines.end());
    EXPECT_EQ(after[0], "info debug Creation of Transposition Table : failure (2048 MB)");
    EXPECT_EQ(after[1], "info debug Creation of Transposition Table : failure (1024 MB)");
    EXPECT_EQ(after[2], "info debug Creation of Transposition Table : success (512 MB)");
    EXPECT_TRUE(startsWith(lines.back(), "bestmove "));
}

TEST_P(UciSearch, TheTableIsKeptBetweenSearchesAndEmptiedOnRequest) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    auto nodes = [&](const std::string &before) {
        std::vector<std::string> lines = e.search(before + "position startpos moves e2e4\ngo depth 7");
        std::vector<std::string> iterations = iterationLines(lines);
        return iterations.empty() ? -1 : field(iterations.back(), "nodes");
    };
    long long fresh = nodes("");
    EXPECT_GT(fresh, 0);
    EXPECT_NE(nodes(""), fresh);  // the second search starts from the first one's table
    EXPECT_EQ(nodes("ucinewgame\n"), fresh);
    EXPECT_EQ(nodes("perft 2\n"), fresh);
    EXPECT_NE(nodes("position startpos\n"), fresh);  // a new position keeps the table
    EXPECT_EQ(nodes("setoption name Hash value 128\n"), fresh);
    EXPECT_TRUE(e.quit());
}

TEST_P(UciSearch, DebugListsTheMovesInSearchOrder) {
    std::vector<std::string> lines = run("debug\nposition fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\ndebug\n");
    size_t first = 0, mirrored = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i] == "20 legal moves:") first = i;
        if (lines[i] == "20 mirrored legal moves:") mirrored = i;
    }
    ASSERT_GT(first, 0u);
    ASSERT_GT(mirrored, first);
    EXPECT_TRUE(startsWith(lines[first - 2], "score cp ")) << lines[first - 2];
    EXPECT_EQ(lines[first - 1], "");
    // The same moves in the same places, with the ranks mirrored.
    std::string list, mirror;
    for (size_t i = first + 1; i < mirrored - 1; i++) list += lines[i];
    for (size_t i = mirrored + 1; i < lines.size() && !lines[i].empty(); i++) mirror += lines[i];
    EXPECT_NE(list.find("e2e4"), std::string::npos);
    EXPECT_EQ(list.find("e2e4"), mirror.find("e7e5"));
    EXPECT_EQ(list.size(), mirror.size());
    for (size_t i = first + 1; i < mirrored; i++) EXPECT_LE(lines[i].size(), 80u) << lines[i];
    // Castling both ways in the second position: 26 moves for the rooks and king.
    bool found = false;
    for (const std::string &l : lines) found = found || l == "26 legal moves:";
    EXPECT_TRUE(found);
}

TEST(Bench, SameNodesInEveryBuildAndRun) {
    if (SANITIZED) GTEST_SKIP() << "four depth-12 searches per build take too long with the sanitizers";
    const std::regex summary("([0-9]+) nodes in [0-9]+ ms, speed = [0-9]+ nodes/s");
    std::vector<std::string> totals;
    std::vector<std::string> builds = testedIsas();
    if (!builds.empty()) builds.push_back(builds.front());  // one build twice
    for (const std::string &isa : builds) {
        RunResult r = runScript(programPath(isa), "bench\n", binaryDir(), 180000);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << isa << ": " << describe(r.exit);
        std::vector<std::string> lines = splitLines(r.out);
        ASSERT_FALSE(lines.empty());
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines.back(), m, summary)) << lines.back();
        totals.push_back(m[1]);
        int bestmoves = 0, boards = 0;
        for (const std::string &l : lines) {
            if (startsWith(l, "bestmove ")) bestmoves++;
            if (startsWith(l, "fen = ")) boards++;
        }
        EXPECT_EQ(bestmoves, 4) << isa;
        EXPECT_EQ(boards, 4) << isa;
        for (size_t i = 1; i < totals.size(); i++) EXPECT_EQ(totals[i], totals[0]) << isa;
    }
}

TEST_P(UciSearch, BenchLeavesTheLastPositionAndAnEmptyTable) {
    if (SANITIZED) GTEST_SKIP() << "four depth-12 searches take too long with the sanitizers";
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("bench"));
    std::vector<std::string> lines;
    ASSERT_TRUE(e.process().readUntil("bestmove a8f8", lines, 180000));
    std::string line;
    ASSERT_TRUE(e.process().readLine(line, 10000));
    ASSERT_TRUE(e.send("debug"));
    lines.clear();
    ASSERT_TRUE(e.process().readUntil("fen = r5k1/p2qp1bp/6p1/1pP3P1/2n1P3/1QP1B3/P3N1PP/R4K2 b - - 0 1", lines, 10000));
    // An empty table: the same search as in a fresh engine.
    std::vector<std::string> after = iterationLines(e.search("go depth 6"));
    std::vector<std::string> fresh = iterationLines(
        searchOnce("position fen r5k1/p2qp1bp/6p1/1pP3P1/2n1P3/1QP1B3/P3N1PP/R4K2 b - - 0 17", "go depth 6"));
    ASSERT_FALSE(after.empty());
    ASSERT_EQ(after.size(), fresh.size());
    EXPECT_EQ(field(after.back(), "nodes"), field(fresh.back(), "nodes"));
    EXPECT_TRUE(e.quit());
}

TEST(SearchConsistency, EveryBuildSearchesTheSameTrees) {
    // The same commands give the same bytes on every build, apart from the
    // clock readings and the speeds computed from them.
    const std::string script =
        "position startpos moves e2e4 c7c5\ngo depth 9\n"
        "position fen r2q2k1/pb3pp1/1p3n1p/2bpr3/8/2NBP3/PPQB1PPP/2RR2K1 w - - 0 16\ngo depth 8\n"
        "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1\ngo depth 10\ndebug\n";
    static const std::regex timing("time [0-9]+ nodes ([0-9]+) nps [0-9]+");
    const std::vector<std::string> &isas = testedIsas();
    ASSERT_FALSE(isas.empty());
    std::string reference;
    for (const std::string &isa : isas) {
        RunResult r = runScript(programPath(isa), script, binaryDir(), 120000 * SLOWDOWN);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << isa << ": " << describe(r.exit);
        std::string masked = std::regex_replace(r.out, timing, "time # nodes $1 nps #");
        std::string head = expectedFeatureLine();
        EXPECT_NE(masked.find("bestmove"), std::string::npos);
        if (reference.empty()) reference = masked;
        else EXPECT_EQ(masked, reference) << isa;
    }
}

CORVIX_FOR_EACH_BUILD(UciSearch);

}  // namespace
