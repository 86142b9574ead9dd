// Several searching threads: the Threads option and its refusals, one thread
// searching exactly as the engine always has, searches with helpers giving
// legal moves and sane lines, input stopping every thread at once, and many
// short searches in a row.
#include <regex>
#include <string>
#include <vector>

#include "integration/referee_board.h"
#include "integration/search_support.h"

using namespace corvix_test;

namespace {

class Threads : public EngineTest {};

// The final line, with the totals of every thread when a search of several ends.
const std::regex THREADS_FINAL_LINE("info score (cp -?[0-9]+|mate -?[0-9]+) (nodes [0-9]+ time [0-9]+ nps [0-9]+)?");

// The lines of a search with the time fields masked (they depend on the clock).
std::vector<std::string> withoutTimes(const std::vector<std::string> &lines) {
    static const std::regex timing(" time [0-9]+ (nodes [0-9]+) nps [0-9]+ ");
    std::vector<std::string> out;
    for (const std::string &l : lines) out.push_back(std::regex_replace(l, timing, " time # $1 nps # "));
    return out;
}

// Checks a search's lines (iterations with growing depths and node counts,
// the final line) and that its move is legal in the position.
void checkSearch(const std::string &position, const std::vector<std::string> &lines) {
    ASSERT_GE(lines.size(), 2u);
    long long last_nodes = 0, last_depth = 0;
    size_t i = 0;
    for (; i < lines.size() && startsWith(lines[i], "info depth "); i++) {
        if (lines[i].find(" currmove ") != std::string::npos) continue;
        EXPECT_TRUE(std::regex_match(lines[i], ITERATION_LINE)) << lines[i];
        EXPECT_GE(field(lines[i], "nodes"), last_nodes) << lines[i];
        EXPECT_GE(field(lines[i], "depth"), last_depth) << lines[i];
        EXPECT_LE(field(lines[i], "hashfull"), 1000) << lines[i];
        last_nodes = field(lines[i], "nodes");
        last_depth = field(lines[i], "depth");
    }
    if (i < lines.size() && startsWith(lines[i], "info string Mate in ")) i++;
    ASSERT_EQ(i + 2, lines.size()) << "unexpected line: " << lines[i];
    EXPECT_TRUE(std::regex_match(lines[i], THREADS_FINAL_LINE)) << lines[i];
    ASSERT_TRUE(std::regex_match(lines[i + 1], BESTMOVE_LINE)) << lines[i + 1];
    initRefereeBoard();
    ASSERT_TRUE(refereePosition(position));
    EXPECT_TRUE(refereeLegal(lines[i + 1].substr(9))) << position << ": " << lines[i + 1];
}

long long lastNodes(const std::vector<std::string> &lines) {
    long long nodes = -1;
    for (const std::string &l : lines)
        if (isIterationLine(l)) nodes = field(l, "nodes");
    return nodes;
}

TEST_P(Threads, OptionAndRefusedValues) {
    struct Case {
        const char *command;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        {"setoption name Threads value 2", {}},
        {"setoption name threads value 3", {}},
        {"setoption name THREADS value 0x4", {}},
        {"setoption name Threads value 0", {"info string Option Threads takes a number from 1 to 256, not '0'"}},
        {"setoption name Threads value 257", {"info string Option Threads takes a number from 1 to 256, not '257'"}},
        {"setoption name Threads value -2", {"info string Option Threads takes a number from 1 to 256, not '-2'"}},
        {"setoption name Threads value two", {"info string Option Threads needs a whole number, not 'two'"}},
        {"setoption name Threads value 2 threads",
         {"info string Option Threads needs a whole number, not '2 threads'"}},
        {"setoption name Threads", {"Unknown command : 'setoption name Threads'"}},
        {"setoption name Threads value 1", {}},
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        // The threads are there before the answer to "isready".
        std::vector<std::string> lines;
        ASSERT_TRUE(e.send(c.command));
        ASSERT_TRUE(e.send("isready"));
        ASSERT_TRUE(e.process().readUntil("readyok", lines, 10000 * SLOWDOWN));
        lines.pop_back();
        EXPECT_EQ(lines, c.output);
    }
    EXPECT_TRUE(e.quit());
}

// One thread, set back after more, searches the tree of a fresh engine, node
// for node; a refused value keeps the threads there are.
TEST_P(Threads, OneThreadSearchesAsAlways) {
    const std::string position = "position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    std::vector<std::string> fresh;
    {
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        std::vector<std::string> lines = e.search(position + "\ngo depth 9");
        checkSearch(position, lines);
        fresh = withoutTimes(lines);
        EXPECT_TRUE(e.quit());
    }
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("setoption name Threads value 3"));
    ASSERT_TRUE(e.send("setoption name Threads value 1"));
    EXPECT_EQ(withoutTimes(e.search(position + "\ngo depth 9")), fresh);
    // Two threads, then a refused value: still two (their nodes add up).
    ASSERT_TRUE(e.send("ucinewgame"));
    ASSERT_TRUE(e.send("setoption name Threads value 2"));
    ASSERT_TRUE(e.send("setoption name Threads value 0"));
    std::vector<std::string> lines = e.search(position + "\ngo depth 9");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "info string Option Threads takes a number from 1 to 256, not '0'");
    lines.erase(lines.begin());
    checkSearch(position, lines);
    EXPECT_NE(lastNodes(lines), lastNodes(fresh));
    // "bench" stays on one thread whatever the option says.
    if (!SANITIZED) {
        ASSERT_TRUE(e.send("bench"));
        std::string line;
        while (e.process().readLine(line, 120000) && line.find(" nodes in ") == std::string::npos) {
        }
        EXPECT_TRUE(startsWith(line, "5119899 nodes in ")) << line;
    }
    EXPECT_TRUE(e.quit());
}

TEST_P(Threads, HelpersGiveLegalMovesAndSaneLines) {
    struct Case {
        const char *position;
        const char *go;
    };
    const Case cases[] = {
        {"position startpos", "go depth 10"},
        {"position startpos moves e2e4 c7c5 g1f3 d7d6", "go movetime 300"},
        // A mate to find, and a position whose best move is forced.
        {"position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", "go depth 8"},
        {"position fen 8/8/8/8/8/5k2/4p3/4K3 w - - 0 1", "go movetime 200"},
        // Repetitions in the game so far: the helpers see them too.
        {"position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6", "go depth 8"},
        {"position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "go wtime 2000 btime 2000"},
    };
    for (const char *threads : {"2", "4"}) {
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send(std::string("setoption name Threads value ") + threads));
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(threads) + " threads, " + c.position + ", " + c.go);
            std::vector<std::string> lines = e.search(std::string(c.position) + "\n" + c.go);
            checkSearch(c.position, lines);
        }
        EXPECT_TRUE(e.quit());
    }
}

// The limits of the full protocol hold with helpers: "searchmoves" binds
// them too, MultiPV lines come from the main thread, a node limit counts the
// nodes of every thread, and a pondering search waits for "ponderhit".
TEST_P(Threads, ProtocolLimitsWithHelpers) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("setoption name Threads value 3"));
    const std::string start = "position startpos moves e2e4 e7e5";
    std::vector<std::string> lines = e.search(start + "\ngo depth 9 searchmoves a2a3 h2h3");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back() == "bestmove a2a3" || lines.back() == "bestmove h2h3") << lines.back();

    ASSERT_TRUE(e.send("setoption name MultiPV value 3"));
    lines = e.search(start + "\ngo depth 7");
    ASSERT_FALSE(lines.empty());
    ASSERT_TRUE(std::regex_match(lines.back(), BESTMOVE_LINE)) << lines.back();
    std::string first_line_move;
    int multipv_lines = 0;
    for (const std::string &l : lines)
        if (startsWith(l, "info depth 7 ") && l.find(" multipv ") != std::string::npos) {
            multipv_lines++;
            if (field(l, "multipv") == 1) first_line_move = l.substr(l.find(" pv ") + 4, 4);
        }
    EXPECT_EQ(multipv_lines, 3);
    EXPECT_EQ(lines.back(), "bestmove " + first_line_move);
    ASSERT_TRUE(e.send("setoption name MultiPV value 1"));

    lines = e.search(start + "\ngo nodes 30000");
    ASSERT_FALSE(lines.empty());
    checkSearch(start, lines);
    // The main thread looks at the sum every 1000 of its nodes, and the
    // helpers publish theirs every 1000 nodes and stop at their next look:
    // the limit is kept to some thousand nodes per thread.
    const long long nodes = field(lines[lines.size() - 2], "nodes");
    EXPECT_GE(nodes, 30000) << lines[lines.size() - 2];
    EXPECT_LE(nodes, 60000) << lines[lines.size() - 2];

    ASSERT_TRUE(e.send("setoption name Ponder value true"));
    ASSERT_TRUE(e.send(start + " g1f3 b8c6"));
    ASSERT_TRUE(e.send("go ponder wtime 5000 btime 5000"));
    usleep(300 * 1000);
    lines = e.search("ponderhit");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("bestmove [a-h][1-8][a-h][1-8]( ponder [a-h][1-8][a-h][1-8])?")))
        << lines.back();
    EXPECT_TRUE(e.quit());
}

// Time from the line sent during "go infinite" with four threads to the
// "bestmove" line ("isready" before it leaves the search running);
// afterwards the engine goes on, or ends with status 0.
TEST_P(Threads, InputStopsEveryThreadAtOnce) {
    // The main thread looks at the input every 10000 nodes; the limit leaves
    // room for a two-core machine that runs four searching threads.
    const long long limit = 300 * SLOWDOWN;
    struct Case {
        const char *line;
        std::vector<std::string> after;  // lines after "bestmove"
        bool exits;
    };
    const Case cases[] = {
        {"stop", {}, false},
        {"quit", {}, true},
        {"", {}, true},  // the end of input
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(*c.line ? c.line : "end of input");
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send("setoption name Threads value 4"));
        ASSERT_TRUE(e.send("position startpos moves d2d4"));
        ASSERT_TRUE(e.send("go infinite"));
        std::string line;
        const long long searching_until = nowMs() + 700;
        while (nowMs() < searching_until) e.process().readLine(line, (int)(searching_until - nowMs()));
        // "isready" is answered while every thread searches on.
        ASSERT_TRUE(e.send("isready"));
        bool ready = false;
        while (!ready && e.process().readLine(line, 5000 * SLOWDOWN)) {
            ASSERT_FALSE(startsWith(line, "bestmove")) << line;
            ready = line == "readyok";
        }
        ASSERT_TRUE(ready);
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
            // The helpers are parked again: a search to a fixed depth still
            // ends as it should.
            std::vector<std::string> lines = e.search("go depth 6");
            checkSearch("position startpos moves d2d4", lines);
            EXPECT_TRUE(e.quit());
        }
    }
}

// Short searches one after another, each one stopping its helpers and the
// next one starting them: none may hang or answer twice.
TEST_P(Threads, ManyShortSearchesInARow) {
    const int searches = SANITIZED ? 50 : 200;
    const char *const positions[] = {
        "position startpos",
        "position startpos moves e2e4 e7e5 g1f3",
        "position fen 8/2k5/8/8/8/8/2K1P3/8 w - - 0 1",
        "position fen r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("setoption name Threads value 4"));
    for (int i = 0; i < searches; i++) {
        const char *position = positions[i % 4];
        std::vector<std::string> lines = e.search(std::string(position) + "\ngo movetime 5", 10000);
        ASSERT_FALSE(lines.empty());
        ASSERT_TRUE(std::regex_match(lines.back(), BESTMOVE_LINE)) << "search " << i << ": " << lines.back();
        if (i % 20 == 0) checkSearch(position, lines);
    }
    // Nothing more comes: exactly one "bestmove" per search.
    std::vector<std::string> rest;
    ASSERT_TRUE(e.send("isready"));
    ASSERT_TRUE(e.process().readUntil("readyok", rest, 10000 * SLOWDOWN));
    EXPECT_EQ(rest.size(), 1u);
    EXPECT_TRUE(e.quit());
}

}  // namespace

CORVIX_FOR_EACH_BUILD(Threads);
