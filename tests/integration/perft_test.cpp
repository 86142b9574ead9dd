// The "perft" command: totals, divide lines, the summary line, refused
// depths, and the position left as it was.
#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

// "N nodes in M ms, speed = S nodes/s"; checks the speed rule (division
// first, 0 for 0 ms) and returns N, or -1 when the line is no summary.
long long summaryNodes(const std::string &line) {
    static const std::regex summary("^([0-9]+) nodes in ([0-9]+) ms, speed = ([0-9]+) nodes/s$");
    std::smatch m;
    if (!std::regex_match(line, m, summary)) return -1;
    unsigned long long nodes = std::stoull(m[1]), ms = std::stoull(m[2]), speed = std::stoull(m[3]);
    EXPECT_EQ(speed, ms ? nodes / ms * 1000 : 0) << line;
    return (long long)nodes;
}

// Output of one perft command: its divide lines and the total.
struct PerftOutput {
    std::vector<std::string> divide;
    long long total = -1;
    std::vector<std::string> other;  // anything else
};

// Splits the output of a script of perft commands into one PerftOutput per
// summary line (lines that are neither divide nor summary lines go to other).
std::vector<PerftOutput> parsePerft(const std::vector<std::string> &lines) {
    static const std::regex divide("^[a-h][1-8][a-h][1-8][nbrq]?: [0-9]+$");
    std::vector<PerftOutput> outputs(1);
    for (const std::string &line : lines) {
        long long nodes = summaryNodes(line);
        if (nodes >= 0) {
            outputs.back().total = nodes;
            outputs.emplace_back();
        } else if (std::regex_match(line, divide)) {
            outputs.back().divide.push_back(line);
        } else {
            outputs.back().other.push_back(line);
        }
    }
    return outputs;
}

long long divideSum(const std::vector<std::string> &divide) {
    long long sum = 0;
    for (const std::string &line : divide) sum += std::stoll(line.substr(line.find(": ") + 2));
    return sum;
}

class Perft : public EngineTest {};

const char *const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char *const ENDGAME = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const char *const PROMOTIONS = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
const char *const TRICKY = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
const char *const MATED = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";
const char *const STALEMATE = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1";

struct PerftCase {
    std::string position;  // a "position" command
    int depth;
    long long total;
    size_t divide_lines;   // expected number of per-move lines
};

TEST_P(Perft, KnownTotalsAndDivideLines) {
    const std::vector<PerftCase> cases = {
        {"position startpos", 1, 20, 0},
        {"position startpos", 2, 400, 20},
        {"position startpos", 3, 8902, 20},
        {"position startpos", 4, 197281, 20},
        {"position startpos moves e2e4", 2, 600, 20},
        {std::string("position fen ") + KIWIPETE, 1, 48, 0},
        {std::string("position fen ") + KIWIPETE, 2, 2039, 48},
        {std::string("position fen ") + KIWIPETE, 3, 97862, 48},
        {std::string("position fen ") + ENDGAME, 4, 43238, 14},
        {std::string("position fen ") + PROMOTIONS, 3, 9467, 6},
        {std::string("position fen ") + TRICKY, 3, 62379, 44},
        {std::string("position fen ") + MATED, 1, 0, 0},
        {std::string("position fen ") + MATED, 3, 0, 0},
        {std::string("position fen ") + STALEMATE, 2, 0, 0},
    };
    std::string script;
    for (const PerftCase &c : cases) script += c.position + "\nperft " + std::to_string(c.depth) + "\n";
    std::vector<PerftOutput> outputs = parsePerft(run(script, 60000));
    ASSERT_EQ(outputs.size(), cases.size() + 1);
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].position + " / perft " + std::to_string(cases[i].depth));
        EXPECT_EQ(outputs[i].total, cases[i].total);
        EXPECT_EQ(outputs[i].divide.size(), cases[i].divide_lines);
        if (!outputs[i].divide.empty()) {
            EXPECT_EQ(divideSum(outputs[i].divide), cases[i].total);
        }
        EXPECT_EQ(outputs[i].other, std::vector<std::string>{});
    }
}

TEST_P(Perft, DivideLinesOfTheStartPosition) {
    std::vector<PerftOutput> outputs = parsePerft(run("perft 2\n"));
    ASSERT_EQ(outputs.size(), 2u);
    const std::vector<std::string> &divide = outputs[0].divide;
    ASSERT_EQ(divide.size(), 20u);
    for (const std::string &line : divide) EXPECT_EQ(line.substr(4), ": 20");
    // Generation order: a2a3 first, g1h3 last.
    EXPECT_EQ(divide.front(), "a2a3: 20");
    EXPECT_EQ(divide.back(), "g1h3: 20");
}

TEST_P(Perft, PromotionsAtTheRootCarryTheirLetter) {
    std::vector<PerftOutput> outputs = parsePerft(run(std::string("position fen ") + TRICKY + "\nperft 2\n"));
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].total, 1486);
    std::vector<std::string> promotions;
    for (const std::string &line : outputs[0].divide)
        if (line[4] != ':') promotions.push_back(line.substr(0, line.find(':')));
    // The pawn on d7 takes on c8 and becomes any of four pieces.
    std::sort(promotions.begin(), promotions.end());
    EXPECT_EQ(promotions, (std::vector<std::string>{"d7c8b", "d7c8n", "d7c8q", "d7c8r"}));
}

TEST_P(Perft, WithoutADepthCountsTheLegalMoves) {
    // "perft" alone, and a line that only contains "perft" or carries no
    // readable number, count the legal moves of the position.
    std::vector<PerftOutput> outputs = parsePerft(
        run("perft\nxperft 3\nperft x\nposition fen " + std::string(KIWIPETE) + "\nperft\nposition startpos\n"
            "perftx\n"));
    ASSERT_EQ(outputs.size(), 6u);
    const long long expected[] = {20, 20, 20, 48, 20};
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(outputs[i].total, expected[i]) << i;
        EXPECT_TRUE(outputs[i].divide.empty());
    }
}

TEST_P(Perft, DepthIsReadLikeAnInteger) {
    // Hexadecimal and octal forms, a sign, no blank after "perft".
    std::vector<PerftOutput> outputs = parsePerft(run("perft 0x2\nperft 03\nperft +1\nperft2\n"));
    ASSERT_EQ(outputs.size(), 5u);
    EXPECT_EQ(outputs[0].total, 400);
    EXPECT_EQ(outputs[1].total, 8902);
    EXPECT_EQ(outputs[2].total, 20);
    EXPECT_EQ(outputs[3].total, 400);
}

TEST_P(Perft, DepthsOutOfRangeAreRefusedWithOneLine) {
    // Nothing is counted, nothing hangs, the engine goes on.
    for (const char *command : {"perft 0", "perft -1", "perft -2147483648", "perft 61", "perft 70",
                                "perft 99999999999999999999", "perft 0x7fffffff"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> lines = run(std::string(command) + "\nperft 1\n");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("info string ", 0), 0u) << lines[0];
        EXPECT_EQ(summaryNodes(lines[1]), 20);
    }
}

TEST_P(Perft, LeavesThePositionAsItWas) {
    // The same counts and divide lines before and after deeper counts.
    std::vector<PerftOutput> outputs =
        parsePerft(run("position startpos moves e2e4 c7c5 g1f3\nperft 1\nperft 3\nperft 1\nperft\nperft 3\n"));
    ASSERT_EQ(outputs.size(), 6u);
    EXPECT_GT(outputs[0].total, 0);
    EXPECT_EQ(outputs[2].total, outputs[0].total);
    EXPECT_EQ(outputs[3].total, outputs[0].total);
    EXPECT_EQ(outputs[4].total, outputs[1].total);
    EXPECT_EQ(outputs[4].divide, outputs[1].divide);
    EXPECT_EQ(outputs[1].divide.size(), (size_t)outputs[0].total);
}

#if !defined(__SANITIZE_ADDRESS__)
// Five and six plies from the start position; too slow under the sanitizers.
TEST_P(Perft, DeepCountsFromTheStartPosition) {
    std::vector<PerftOutput> outputs = parsePerft(run("perft 5\nperft 6\n", 600000));
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[0].total, 4865609);
    EXPECT_EQ(outputs[1].total, 119060324);
    EXPECT_EQ(outputs[1].divide.size(), 20u);
    EXPECT_EQ(divideSum(outputs[1].divide), 119060324);
}
#endif

CORVIX_FOR_EACH_BUILD(Perft);

}  // namespace
