// The protocol features that GUIs and analysis clients use beyond the basic
// commands: the options "MultiPV", "Ponder", "Move Overhead" and "Clear
// Hash", the limits "nodes", "mate" and "searchmoves" and their mixing with
// the others, pondering with "ponderhit", and commands answered while the
// engine thinks. The output of the basic commands is compared with recorded
// runs, byte for byte except the time and speed fields.
#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "integration/search_support.h"

using namespace corvix_test;

namespace {

class UciProtocol : public EngineTest {};

std::vector<std::string> linesStarting(const std::vector<std::string> &lines, const std::string &prefix) {
    std::vector<std::string> out;
    for (const std::string &l : lines)
        if (startsWith(l, prefix)) out.push_back(l);
    return out;
}

// The first move of the principal variation of an info line.
std::string firstPvMove(const std::string &line) {
    size_t at = line.find(" pv ");
    if (at == std::string::npos) return "";
    return line.substr(at + 4, line.find(' ', at + 4) - at - 4);
}

// A comparable score: centipawns, mates far above them.
long long scoreValue(const std::string &line) {
    long long cp = field(line, "cp");
    if (cp != -1 || line.find(" cp -1 ") != std::string::npos) return cp;
    long long mate = field(line, "mate");
    return mate > 0 ? 100000 - mate : -100000 - mate;
}

std::string bestmoveOf(const std::vector<std::string> &lines) {
    if (lines.empty() || !startsWith(lines.back(), "bestmove ")) return "";
    std::string rest = lines.back().substr(9);
    return rest.substr(0, rest.find(' '));
}

// Reads lines until one starts with prefix; false when none came in time.
bool readUntilPrefix(Engine &e, const std::string &prefix, std::vector<std::string> &lines, int timeout_ms) {
    std::string line;
    long long until = nowMs() + timeout_ms;
    while (nowMs() < until && e.process().readLine(line, (int)(until - nowMs()))) {
        lines.push_back(line);
        if (startsWith(line, prefix)) return true;
    }
    return false;
}

// Collects what arrives within ms; false when a line starts with "bestmove".
bool noBestmoveWithin(Engine &e, int ms, std::vector<std::string> &lines) {
    std::string line;
    long long until = nowMs() + ms;
    while (nowMs() < until && e.process().readLine(line, (int)(until - nowMs()))) {
        lines.push_back(line);
        if (startsWith(line, "bestmove")) return false;
    }
    return true;
}

// Sends the lines and expects "readyok" as the next line, soon: the engine is
// idle and ready for the next command.
void expectReadyAfter(Engine &e, const std::string &lines) {
    ASSERT_TRUE(e.send(lines));
    std::string line;
    ASSERT_TRUE(e.process().readLine(line, 2000 * SLOWDOWN));
    EXPECT_EQ(line, "readyok");
}

TEST_P(UciProtocol, OptionsAreDeclaredAndBadValuesKeepTheOldOnes) {
    const std::vector<std::string> lines = run(
        "uci\n"
        "setoption name MultiPV value 0\n"
        "setoption name MultiPV value 257\n"
        "setoption name multipv value two\n"
        "setoption name Move Overhead value -1\n"
        "setoption name Move Overhead value 5001\n"
        "setoption name Ponder value yes\n"
        "setoption name Ponder\n"
        "setoption name MultiPV value 2\n"
        "setoption name Clear Hash\n"
        "setoption name clear hash\n"
        "quit\n");
    std::vector<std::string> expected = UCI_ANSWER;
    expected.insert(expected.end(), {
        "info string Option MultiPV takes a number from 1 to 256, not '0'",
        "info string Option MultiPV takes a number from 1 to 256, not '257'",
        "info string Option MultiPV needs a whole number, not 'two'",
        "info string Option Move Overhead takes a number from 0 to 5000, not '-1'",
        "info string Option Move Overhead takes a number from 0 to 5000, not '5001'",
        "info string Option Ponder takes true or false, not 'yes'",
        "Unknown command : 'setoption name Ponder'",
    });
    EXPECT_EQ(lines, expected);
}

// With the default options the basic commands print what they printed
// before the full protocol came: the recorded lines of a few searches.
TEST_P(UciProtocol, DefaultOutputIsUnchanged) {
    std::ifstream commands(std::string(CORVIX_TEST_DATA) + "/search_lines_commands.txt");
    std::ifstream recorded(std::string(CORVIX_TEST_DATA) + "/search_lines.txt");
    ASSERT_TRUE(commands && recorded);
    std::vector<std::string> expected;
    for (std::string l; std::getline(recorded, l);) expected.push_back(l);
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    std::vector<std::string> got;
    for (std::string l; std::getline(commands, l);) {
        if (!startsWith(l, "go")) {
            ASSERT_TRUE(e.send(l));
            continue;
        }
        for (std::string out : e.search(l)) {
            out = std::regex_replace(out, std::regex(" time [0-9]+ "), " time T ");
            out = std::regex_replace(out, std::regex(" nps [0-9]+ "), " nps N ");
            got.push_back(out);
        }
    }
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(e.quit());
}

TEST_P(UciProtocol, MultiPvReportsTheBestMovesInOrder) {
    struct Case {
        const char *position;
        int multipv, depth;
        size_t lines;  // per iteration
    };
    const Case cases[] = {
        {"position startpos", 3, 8, 3},
        // Two legal moves: two lines, however many are asked for.
        {"position fen 7k/8/8/8/8/2q5/8/K7 w - - 0 1", 5, 4, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send("setoption name MultiPV value " + std::to_string(c.multipv)));
        std::vector<std::string> lines = e.search(std::string(c.position) + "\ngo depth " + std::to_string(c.depth));
        std::vector<std::string> infos = linesStarting(lines, "info depth ");
        ASSERT_EQ(infos.size(), c.lines * (size_t)c.depth);
        for (int d = 1; d <= c.depth; d++) {
            std::set<std::string> first_moves;
            for (size_t i = 0; i < c.lines; i++) {
                const std::string &l = infos[(size_t)(d - 1) * c.lines + i];
                EXPECT_EQ(field(l, "depth"), d) << l;
                EXPECT_EQ(field(l, "multipv"), (long long)i + 1) << l;
                EXPECT_GE(field(l, "seldepth"), d) << l;
                EXPECT_NE(field(l, "nodes"), -1) << l;
                first_moves.insert(firstPvMove(l));
                if (i > 0) {
                    EXPECT_LE(scoreValue(l), scoreValue(infos[(size_t)(d - 1) * c.lines + i - 1])) << l;
                }
            }
            EXPECT_EQ(first_moves.size(), c.lines) << "depth " << d;
        }
        EXPECT_EQ(bestmoveOf(lines), firstPvMove(infos[infos.size() - c.lines]));
        EXPECT_TRUE(e.quit());
    }
}

TEST_P(UciProtocol, NodeAndDepthAndTimeLimitsMix) {
    struct Case {
        const char *go;
        long long min_nodes, max_nodes;  // of the last line that reports nodes
        int max_depth;                   // of the iterations (0: any)
        long long max_ms;
    };
    const long long slow = SLOWDOWN;
    const Case cases[] = {
        {"go nodes 300000", 300000, 304000, 0, 20000 * slow},
        {"go nodes 5000", 5000, 6050, 0, 5000 * slow},
        {"go depth 30 nodes 40000", 40000, 41400, 0, 5000 * slow},
        {"go nodes 40000 wtime 100000 btime 100000", 40000, 41400, 0, 5000 * slow},
        // Every limit of the line holds: the depth ends it long before the time.
        {"go movetime 5000 depth 3", 0, 1000000, 3, 2000 * slow},
        {"go depth 3 movetime 5000", 0, 1000000, 3, 2000 * slow},
        {"go wtime 100000 btime 100000 depth 2", 0, 1000000, 2, 2000 * slow},
        // Here the time ends it.
        {"go depth 40 movetime 300", 0, 100000000, 0, 1500 * slow},
        {"go nodes 100000000 movetime 300", 0, 100000000, 0, 1500 * slow},
        // A negative movestogo counts as none: 10 s / 40, not the whole clock.
        {"go wtime 10000 btime 10000 movestogo -1", 0, 100000000, 0, 1500 * slow},
        // Unknown words are skipped.
        {"go frobnicate nodes 20000 wibble", 20000, 21200, 0, 5000 * slow},
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.go);
        ASSERT_TRUE(e.send("ucinewgame"));
        long long start = nowMs();
        std::vector<std::string> lines = e.search(std::string("position startpos moves e2e4\n") + c.go);
        long long took = nowMs() - start;
        ASSERT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
        EXPECT_LE(took, c.max_ms);
        long long nodes = -1;
        for (const std::string &l : lines)
            if (field(l, "nodes") >= 0) nodes = field(l, "nodes");
        EXPECT_GE(nodes, c.min_nodes);
        EXPECT_LE(nodes, c.max_nodes);
        if (c.max_depth) {
            std::vector<std::string> infos = linesStarting(lines, "info depth ");
            ASSERT_FALSE(infos.empty());
            EXPECT_EQ(field(infos.back(), "depth"), c.max_depth);
        }
    }
    EXPECT_TRUE(e.quit());
}

TEST_P(UciProtocol, MateLimitSearchesUntilTheMateIsProven) {
    // White mates in 5: Qe6+ Kh8 Nf7+ Kg8 Nh6+ Kh8 Qg8+ Rxg8 Nf7#.
    const std::string position = "position fen 5rk1/6pp/8/6N1/8/8/4Q3/6K1 w - - 0 1";
    struct Case {
        const char *go;
        long long mate;  // the score of the final line
        int last_depth;  // of the iterations (0: any)
    };
    const Case cases[] = {
        {"go mate 6", 5, 0},
        {"go mate 5", 5, 0},
        // A longer mate than asked for does not end the search; the depth does.
        {"go mate 2 depth 9", 5, 9},
        {"go depth 9 mate 4", 5, 9},
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.go);
        ASSERT_TRUE(e.send("ucinewgame"));
        std::vector<std::string> lines = e.search(position + "\n" + c.go, 60000);
        ASSERT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
        std::vector<std::string> finals = linesStarting(lines, "info score mate ");
        ASSERT_EQ(finals.size(), 1u);
        EXPECT_EQ(field(finals[0], "mate"), c.mate);
        std::vector<std::string> infos = linesStarting(lines, "info depth ");
        ASSERT_FALSE(infos.empty());
        if (c.last_depth) EXPECT_EQ(field(infos.back(), "depth"), c.last_depth);
        // Ended where the mate was first proven.
        else EXPECT_NE(infos.back().find(" score mate 5 "), std::string::npos) << infos.back();
    }
    EXPECT_TRUE(e.quit());
}

TEST_P(UciProtocol, SearchMovesRestrictTheRoot) {
    // Qxf7 mates at once; the root may only play what the line names.
    const std::string position = "position fen r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4";
    struct Case {
        std::string go;
        std::set<std::string> allowed;
        std::vector<std::string> messages;
    };
    // A move named again and again counts once: more names than the
    // position has legal moves once overran the list.
    std::string repeated = "go depth 3 searchmoves";
    for (int i = 0; i < 400; i++) repeated += " b1c3";
    const Case cases[] = {
        {"go depth 5 searchmoves b1c3 a2a3", {"b1c3", "a2a3"}, {}},
        {"go searchmoves g1f3 depth 4", {"g1f3"}, {}},
        {"go depth 4 searchmoves e1e3 b1c3 x\x01", {"b1c3"},
         {"info string searchmoves: 'e1e3' is not a legal move here, ignored",
          "info string searchmoves: 'x?' is not a legal move here, ignored"}},
        // Nothing legal is left: the list is ignored.
        {"go depth 4 searchmoves h5h8", {"h5f7"},
         {"info string searchmoves: 'h5h8' is not a legal move here, ignored",
          "info string searchmoves: no legal move named, every move is searched"}},
        {repeated + " a2a3", {"b1c3", "a2a3"}, {}},
    };
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.go.substr(0, 60));
        std::vector<std::string> lines = e.search(position + "\n" + c.go);
        ASSERT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
        EXPECT_EQ(c.allowed.count(bestmoveOf(lines)), 1u) << lines.back();
        for (const std::string &l : linesStarting(lines, "info depth "))
            EXPECT_EQ(c.allowed.count(firstPvMove(l)), 1u) << l;
        EXPECT_EQ(linesStarting(lines, "info string searchmoves"), c.messages);
    }
    EXPECT_TRUE(e.quit());
}

// "bestmove ... ponder <move>": with the Ponder option on, or after a "go
// ponder"; the reply is legal after the move (checked by playing both).
TEST_P(UciProtocol, BestmoveNamesTheExpectedReplyWhenPondering) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    const std::regex plain("bestmove [a-h][1-8][a-h][1-8][nbrq]?");
    const std::regex with_reply("bestmove ([a-h][1-8][a-h][1-8][nbrq]?) ponder ([a-h][1-8][a-h][1-8][nbrq]?)");
    std::vector<std::string> lines = e.search("position startpos moves e2e4\ngo depth 6");
    EXPECT_TRUE(std::regex_match(lines.back(), plain)) << lines.back();
    ASSERT_TRUE(e.send("setoption name Ponder value true"));
    lines = e.search("go depth 6");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines.back(), m, with_reply)) << lines.back();
    // Both moves are legal: the position accepts them (a refused one says so).
    lines = e.search("position startpos moves e2e4 " + m[1].str() + " " + m[2].str() + "\ngo depth 1");
    EXPECT_TRUE(linesStarting(lines, "info string").empty()) << lines.front();
    ASSERT_TRUE(e.send("setoption name Ponder value false"));
    lines = e.search("go depth 6");
    EXPECT_TRUE(std::regex_match(lines.back(), plain)) << lines.back();
    EXPECT_TRUE(e.quit());
}

// A ponder or infinite search answers only when told: after "ponderhit" it
// keeps to the clock of its "go" line from then on, after "stop" at once;
// one that ends by itself (a mate, a depth, a single reply) waits.
TEST_P(UciProtocol, PonderAndInfiniteSearchesWaitForTheirCommand) {
    struct Case {
        const char *position;
        const char *go;
        const char *command;       // after the wait
        long long max_answer_ms;   // from the command to "bestmove"
        bool reply;                // " ponder <move>" expected
    };
    const long long slow = SLOWDOWN;
    const Case cases[] = {
        // 1450 ms from the ponderhit on (half of it ends the iterations).
        {"position startpos moves e2e4 e7e5", "go ponder wtime 60000 btime 60000", "ponderhit", 1600 * slow, true},
        {"position startpos moves e2e4 e7e5", "go ponder wtime 60000 btime 60000", "stop", 300 * slow, true},
        {"position startpos moves e2e4", "go infinite", "stop", 300 * slow, false},
        // Ended by themselves: a mate at depth 1, a depth limit, a single reply.
        {"position fen r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
         "go ponder wtime 60000 btime 60000", "ponderhit", 300 * slow, false},
        {"position startpos", "go ponder depth 3", "stop", 300 * slow, true},
        {"position fen 7k/8/8/8/8/8/6q1/K7 w - - 0 1", "go ponder wtime 1000 btime 1000", "ponderhit", 300 * slow,
         false},
        {"position fen r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "go infinite", "stop",
         300 * slow, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.position) + " / " + c.go + " / " + c.command);
        Engine e(GetParam());
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send(c.position));
        ASSERT_TRUE(e.send(c.go));
        std::vector<std::string> lines;
        EXPECT_TRUE(noBestmoveWithin(e, 700, lines));
        // Answered without ending the search.
        ASSERT_TRUE(e.send("isready"));
        ASSERT_TRUE(readUntilPrefix(e, "readyok", lines, 2000 * SLOWDOWN));
        EXPECT_TRUE(linesStarting(lines, "bestmove").empty());
        long long start = nowMs();
        ASSERT_TRUE(e.send(c.command));
        ASSERT_TRUE(readUntilPrefix(e, "bestmove", lines, 5000 * SLOWDOWN));
        EXPECT_LE(nowMs() - start, c.max_answer_ms);
        EXPECT_EQ(lines.back().find(" ponder ") != std::string::npos, c.reply) << lines.back();
        // The engine is ready for the next command and answers it at once.
        expectReadyAfter(e, "isready");
        EXPECT_TRUE(e.quit());
    }
}

// "isready" during a timed search is answered at once and the search goes
// on to its time; "ponderhit" outside pondering changes nothing.
TEST_P(UciProtocol, IsReadyDuringASearchDoesNotStopIt) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("position startpos"));
    long long start = nowMs();
    ASSERT_TRUE(e.send("go movetime 1500"));
    std::vector<std::string> lines;
    EXPECT_TRUE(noBestmoveWithin(e, 500, lines));
    long long asked = nowMs();
    ASSERT_TRUE(e.send("isready\nponderhit"));
    ASSERT_TRUE(readUntilPrefix(e, "readyok", lines, 2000 * SLOWDOWN));
    EXPECT_LE(nowMs() - asked, 300 * SLOWDOWN);
    ASSERT_TRUE(readUntilPrefix(e, "bestmove", lines, 5000 * SLOWDOWN));
    EXPECT_GE(nowMs() - start, 1500);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "readyok"), 1);
    // The late "ponderhit" is not an unknown command.
    expectReadyAfter(e, "ponderhit\nisready");
    EXPECT_TRUE(e.quit());
}

TEST_P(UciProtocol, ClearHashEmptiesTheTable) {
    Engine e(GetParam());
    ASSERT_TRUE(e.ok());
    auto nodes = [&](const std::string &before) {
        std::vector<std::string> lines = e.search(before + "position startpos moves e2e4\ngo depth 7");
        std::vector<std::string> infos = linesStarting(lines, "info depth ");
        return infos.empty() ? -1 : field(infos.back(), "nodes");
    };
    long long fresh = nodes("");
    EXPECT_NE(nodes(""), fresh);
    EXPECT_EQ(nodes("setoption name Clear Hash\n"), fresh);
    EXPECT_TRUE(e.quit());
}

CORVIX_FOR_EACH_BUILD(UciProtocol);

}  // namespace
