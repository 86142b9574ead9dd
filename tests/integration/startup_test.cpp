// Start-up: the report lines and their order, the network file and what
// happens when it is missing or malformed.
#include <unistd.h>

#include <cstdio>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

class Startup : public EngineTest {};

TEST_P(Startup, ReportsInOrderThenAnswersCommands) {
    std::vector<std::string> lines = run("isready\n");
    EXPECT_EQ(lines, std::vector<std::string>{"readyok"});
}

TEST_P(Startup, FeatureLineDescribesTheProcessorNotTheBuild) {
    // Every build prints what the processor has, the sse2 build included.
    RunResult r = runScript(program(), "", binaryDir());
    std::vector<std::string> lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], expectedFeatureLine());
}

TEST_P(Startup, WithoutNetworkFileReportsAndEndsBeforeReadingCommands) {
    TempDir dir;
    RunResult r = runScript(program(), "uci\nisready\n", dir.path());
    EXPECT_TRUE(r.exit.exited && r.exit.status == 0) << describe(r.exit);
    EXPECT_EQ(splitLines(r.out), (std::vector<std::string>{BANNER, expectedFeatureLine(), NETWORK_ERROR}));
    EXPECT_EQ(r.err, "");
}

// Network files written by the test: zero parameters, the length field N,
// and the file length decide whether the file loads.
struct NetworkCase {
    const char *name;
    int description_length;   // the N stored in the header
    long long extra_bytes;    // appended after the layout's end
    long long total_override; // >= 0: the file has exactly this many bytes
    bool loads;
};

const long long LAYOUT = 21022520LL;

const NetworkCase NETWORK_CASES[] = {
    {"exact length, no description", 0, 0, -1, true},
    {"exact length, description of 177 bytes", 177, 0, -1, true},
    {"one byte appended", 177, 1, -1, true},
    {"three bytes appended", 177, 3, -1, true},
    {"four bytes appended", 177, 4, -1, false},
    {"a kilobyte appended", 0, 1024, -1, false},
    {"negative description length", -1, 0, LAYOUT, false},
    {"very negative description length", -2147483647 - 1, 0, LAYOUT, false},
    {"description longer than the file", 2147483647, 0, LAYOUT, false},
    {"description runs past the end by one byte", 1000, 0, 1011, false},
    {"short file: half the layout", 0, 0, LAYOUT / 2, false},
    {"short file: one byte missing", 0, 0, LAYOUT - 1, false},
    {"short file: header only", 0, 0, 12, false},
};

TEST_P(Startup, SyntheticNetworkFiles) {
    TempDir dir;
    for (const NetworkCase &c : NETWORK_CASES) {
        SCOPED_TRACE(c.name);
        writeNetworkFile(dir.file("nn-82215d0fd0df.nnue"), c.description_length, c.extra_bytes, c.total_override);
        RunResult r = runScript(program(), "isready\n", dir.path());
        EXPECT_TRUE(r.exit.exited && r.exit.status == 0) << describe(r.exit);
        EXPECT_EQ(r.err, "");
        std::vector<std::string> expected;
        if (c.loads)
            expected = {BANNER, expectedFeatureLine(), NETWORK_OK, SYZYGY_FAILURE, TABLE_OK, "readyok"};
        else
            expected = {BANNER, expectedFeatureLine(), NETWORK_ERROR};
        EXPECT_EQ(splitLines(r.out), expected);
    }
}

TEST_P(Startup, UnknownArgumentsAreIgnored) {
    RunResult r = runScript(program(), "isready\n", binaryDir(), 30000, {"--hash=1", "analyse", "-x"});
    std::vector<std::string> expected = startupLines();
    expected.push_back("readyok");
    EXPECT_EQ(splitLines(r.out), expected);
    EXPECT_TRUE(r.exit.exited && r.exit.status == 0) << describe(r.exit);
}

TEST_P(Startup, AnalyseArgumentRunsTheToolInsteadOfTheProtocol) {
    // The first argument containing "-analyse=" names the file; the program
    // ends with status 0 after the tool, without reading any command.
    TempDir dir;
    std::string empty = dir.file("positions.txt");
    FILE *f = std::fopen(empty.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    RunResult r = runScript(program(), "isready\nuci\n", binaryDir(), 30000, {"-x", "--x-analyse=" + empty, "y"});
    EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
    std::vector<std::string> lines = splitLines(r.out);
    std::vector<std::string> head = reportLines();
    ASSERT_GE(lines.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
    for (const std::string &line : lines) {
        EXPECT_NE(line, "readyok");
        EXPECT_NE(line, "uciok");
    }
}

CORVIX_FOR_EACH_BUILD(Startup);

}  // namespace
