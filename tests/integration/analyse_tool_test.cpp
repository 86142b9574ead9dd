// The "-analyse=" tool on small files written by the tests: the difference
// lines, the counting rules, the summary line and a file that cannot be
// opened.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

const char *const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";  // network: -3
const char *const BARE_KINGS = "8/8/8/4k3/8/8/8/4K3 w - -";                             // network: 2

std::string summary(unsigned long long samples, unsigned long long perfect, double sum, double min, double max) {
    char text[200];
    std::snprintf(text, sizeof text, "Samples = %llu, perfect = %llu, sum = %lf, min = %lf, max = %lf", samples,
                  perfect, sum, min, max);
    return text;
}

class AnalyseTool : public EngineTest {
protected:
    struct Outcome {
        std::vector<std::string> lines;  // after the start-up report
        ExitInfo exit;
        std::string err;
    };

    // Runs the program with the argument and no input at all: the tool must
    // end the program by itself.
    Outcome analyse(const std::string &argument, int timeout_ms = 60000) {
        RunResult r = runScript(program(), "", binaryDir(), timeout_ms, {argument});
        Outcome o{splitLines(r.out), r.exit, r.err};
        std::vector<std::string> head = reportLines();
        EXPECT_GE(o.lines.size(), head.size()) << r.out;
        if (o.lines.size() >= head.size()) {
            EXPECT_EQ(std::vector<std::string>(o.lines.begin(), o.lines.begin() + head.size()), head);
            o.lines.erase(o.lines.begin(), o.lines.begin() + head.size());
        }
        return o;
    }

    Outcome analyseText(const std::string &text) {
        std::string path = dir_.file("positions.txt");
        std::ofstream(path, std::ios::binary) << text;
        Outcome o = analyse("-analyse=" + path);
        EXPECT_TRUE(o.exit.finished && o.exit.exited && o.exit.status == 0) << describe(o.exit);
        EXPECT_EQ(o.err, "");
        return o;
    }

    TempDir dir_;
};

TEST_P(AnalyseTool, NothingCounted) {
    const std::string zero = summary(0, 0, 0, 0, 0);
    EXPECT_EQ(analyseText("").lines, std::vector<std::string>{zero});
    EXPECT_EQ(analyseText(std::string(START) + "\n").lines, std::vector<std::string>{zero});
    // No number after the semicolon.
    EXPECT_EQ(analyseText(std::string(START) + ";\n" + START + ";x\n" + START + ";.25\n").lines,
              std::vector<std::string>{zero});
}

TEST_P(AnalyseTool, ReferencesDifferencesAndSummary) {
    // The network gives -3 for the start position.
    const struct {
        const char *reference;
        int delta;  // -3 minus the reference in centipawns
    } cases[] = {
        {"-0.03", 0},  {"-0.30", 27},   {"-1.05", 102}, {"+1.05", -108}, {"1.05", -108}, {"-0.21", 18},
        {"-0.22", 19}, {"0.15", -18},   {"0.16", -19},  {"0.00", -3},    {"-0.03 trailing words", 0},
    };
    std::string text;
    std::vector<std::string> expected;
    unsigned long long perfect = 0, sum = 0;
    int min = 0, max = 0;
    for (const auto &c : cases) {
        std::string line = std::string(START) + ";" + c.reference + "\n";
        text += line;
        if (c.delta == 0) perfect++;
        if (std::abs(c.delta) > 18)
            expected.push_back("delta = 0." + std::to_string(c.delta) + ", corvix = -3, stock = " +
                               std::to_string(-3 - c.delta) + " : " + line.substr(0, line.size() - 1));
        sum += (unsigned long long)std::abs(c.delta);
        min = std::min(min, c.delta);
        max = std::max(max, c.delta);
    }
    // A four-field FEN: the network value without the bare-king guard.
    text += std::string(BARE_KINGS) + ";0.02\n";
    perfect++;
    expected.push_back(summary(sizeof cases / sizeof cases[0] + 1, perfect, sum * 0.01, min * 0.01, max * 0.01));
    EXPECT_EQ(analyseText(text).lines, expected);
}

TEST_P(AnalyseTool, LongLinesArriveInPiecesOf255) {
    // The first piece holds the FEN and the reference and is counted; the rest
    // of the line comes as pieces without a semicolon.
    std::string comment(400, 'x');
    Outcome o = analyseText(std::string(START) + ";-0.03 " + comment + "\n");
    ASSERT_FALSE(o.lines.empty());
    EXPECT_EQ(o.lines.back(), summary(1, 1, 0, 0, 0));
    // A semicolon beyond the 255th character is in a piece of its own, whose
    // text before the semicolon is no FEN: refused and not counted.
    o = analyseText(std::string(START) + std::string(300, ' ') + ";-0.03\n");
    ASSERT_FALSE(o.lines.empty());
    EXPECT_EQ(o.lines.back(), summary(0, 0, 0, 0, 0));
}

TEST_P(AnalyseTool, InvalidFenIsReportedAndNotCounted) {
    Outcome o = analyseText(std::string("this is no position;0.25\n") + START + ";-0.03\n");
    ASSERT_EQ(o.lines.size(), 2u);
    EXPECT_EQ(o.lines[0].rfind("info string ", 0), 0u) << o.lines[0];
    EXPECT_EQ(o.lines[1], summary(1, 1, 0, 0, 0));
}

TEST_P(AnalyseTool, MissingFileIsNamedAndEndsWithFailure) {
    const std::string path = dir_.file("absent.txt");
    Outcome o = analyse("-analyse=" + path);
    EXPECT_TRUE(o.exit.finished && o.exit.exited && o.exit.status != 0) << describe(o.exit);
    EXPECT_EQ(o.lines, std::vector<std::string>{"info string Cannot open analysis file '" + path + "'"});
    EXPECT_EQ(o.err, "");
}

TEST_P(AnalyseTool, QuotedFileTextShowsControlCharactersAsQuestionMarks) {
    // The difference line quotes the file's line with its own ending kept;
    // a control character inside it, and in the file name, is shown as '?'.
    const std::string line = std::string(START) + ";-0.30\x1b[2J\rbestmove a1a1";
    Outcome o = analyseText(line + "\n" + line + "\r\n");
    const std::string shown = "delta = 0.27, corvix = -3, stock = -30 : " + std::string(START) + ";-0.30?[2J?bestmove a1a1";
    EXPECT_EQ(o.lines, (std::vector<std::string>{shown, shown + "\r", summary(2, 0, 0.54, 0, 0.27)}));
    const std::string path = dir_.file("absent\x1b[1m\r.txt");
    o = analyse("-analyse=" + path);
    EXPECT_EQ(o.lines, std::vector<std::string>{"info string Cannot open analysis file '" + dir_.path() +
                                                "/absent?[1m?.txt'"});
}

TEST_P(AnalyseTool, SwitchAnywhereInAnArgument) {
    std::string path = dir_.file("data.txt");
    std::ofstream(path) << START << ";-0.03\n";
    Outcome o = analyse("--x-analyse=" + path);
    EXPECT_TRUE(o.exit.finished && o.exit.exited && o.exit.status == 0) << describe(o.exit);
    EXPECT_EQ(o.lines, std::vector<std::string>{summary(1, 1, 0, 0, 0)});
}

CORVIX_FOR_EACH_BUILD(AnalyseTool);

// The running summary after every 250000 counted lines, on one build.
TEST(AnalyseToolLarge, SummaryEvery250000Lines) {
    if (testedIsas().empty()) GTEST_SKIP() << "no build this processor runs";
    TempDir dir;
    std::string path = dir.file("many.txt");
    {
        std::ofstream out(path);
        for (int i = 0; i < 500000; i++) out << BARE_KINGS << (i % 2 ? ";0.02\n" : ";0.00\n");
    }
    RunResult r = runScript(programPath(testedIsas().back()), "", binaryDir(), 120000, {"-analyse=" + path});
    EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
    std::vector<std::string> lines = splitLines(r.out);
    std::vector<std::string> tail(lines.end() - std::min<size_t>(lines.size(), 3), lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{summary(250000, 125000, 2500.0, 0, 0.02),
                                              summary(500000, 250000, 5000.0, 0, 0.02),
                                              summary(500000, 250000, 5000.0, 0, 0.02)}));
}

}  // namespace
