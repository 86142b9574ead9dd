// The Windows programs answer every command with the same bytes as the Linux
// program of the same level (the clock's figures masked): the start-up
// report, the input rules, perft, the public evaluations, the board display,
// refused positions, the options, searches to fixed depths and "bench".
#include <fstream>
#include <string>
#include <vector>

#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

class WindowsProtocol : public WindowsTest {
protected:
    // Runs the script (all of it at once, then the end of input) through the
    // Windows program and returns its output; it must end by itself with
    // status 0 and say nothing on standard error.
    std::string runWindows(const std::string &script) {
        RunResult r = runScript(exe(), script, windowsDir(), 120000);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
        EXPECT_EQ(r.err, "");
        return r.out;
    }
    std::string runLinux(const std::string &script) {
        RunResult r = runScript(linuxProgram(), script, binaryDir(), 120000);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
        return r.out;
    }
};

// Commands that print without searching: the script can be written at once.
std::string commandScript() {
    std::string s;
    s += "uci\nisready\n  hello\t world \r\nstop now\nstop\nquit now\n\n \t \n";
    s += std::string(9000, 'z') + "\n";
    s += "perft\nperft 3\nperft 0\nperft 99\n";
    s += "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5\nperft 3\ndebug\neval\n";
    s += "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\nperft 3\ndebug\n";
    s += "position fen rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8 moves d7c8q\nperft 3\n";
    s += "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1\nperft 4\n";
    s += "position fen 8/8/8/8/8/8/8/X7 w - - 0 1\nposition startpos moves e2e5\nperft 2\n";
    s += "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\nperft 1\ndebug\n";
    s += "setoption name Hash value 100\nsetoption name Hash value 0\nsetoption name Hash value 16\n";
    s += "setoption name SyzygyPath value <empty>\nsetoption name SyzygyPath value Z:\\no\\such\\dir\n";
    s += "ucinewgame\nperft 2\n";
    return s;
}

// The public evaluation cases: a script of "eval" commands and the lines they
// must print.
void publicEvaluations(std::string *script, std::vector<std::string> *expected) {
    std::ifstream in(std::string(CORVIX_TEST_DATA) + "/eval_public.txt");
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find(';'), b = line.find(';', a + 1);
        ASSERT_NE(b, std::string::npos) << line;
        char text[64];
        std::snprintf(text, sizeof text, "eval = %0.2lf", std::stoi(line.substr(a + 1, b - a - 1)) * 0.01);
        expected->push_back(text);
        *script += "position fen " + line.substr(0, a) + "\neval\n";
    }
    ASSERT_EQ(expected->size(), 24u);
}

TEST_P(WindowsProtocol, CommandsPrintTheSameBytesAsOnLinux) {
    std::string windows = runWindows(commandScript());
    std::string linux_out = runLinux(commandScript());
    EXPECT_GT(windows.size(), 5000u);
    EXPECT_EQ(maskTiming(windows), maskTiming(linux_out));
    // The report comes first, exactly as on Linux.
    std::vector<std::string> lines = splitLines(windows);
    std::vector<std::string> head = startupLines();
    ASSERT_GE(lines.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
    // Perft totals, masked summary lines.
    for (const char *total : {"8902 nodes in # ms", "97862 nodes in # ms", "43238 nodes in # ms"})
        EXPECT_NE(maskTiming(windows).find(std::string("\n") + total), std::string::npos) << total;
}

TEST_P(WindowsProtocol, PublicEvaluations) {
    std::string script;
    std::vector<std::string> expected;
    publicEvaluations(&script, &expected);
    std::vector<std::string> lines = splitLines(runWindows(script));
    std::vector<std::string> head = startupLines();
    ASSERT_EQ(lines.size(), head.size() + expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + head.size(), lines.end()), expected);
}

TEST_P(WindowsProtocol, SearchesAndBenchAsOnLinux) {
    const std::vector<std::string> commands = {
        "position startpos",
        "go depth 6",
        "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "go depth 5",
        "position fen 8/8/8/4k3/8/8/8/3QK3 w - - 0 1",
        "go depth 8",
        "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
        "go depth 3",
        "ucinewgame",
        "bench",
    };
    Process windows(exe(), {}, windowsDir());
    Process linux_process(linuxProgram(), {}, binaryDir());
    std::vector<std::string> windows_lines = converse(windows, commands);
    std::vector<std::string> linux_lines = converse(linux_process, commands);
    EXPECT_EQ(windows_lines, linux_lines);
    ASSERT_FALSE(windows_lines.empty());
    EXPECT_EQ(windows_lines.back(), "5119899 nodes in # ms, speed = # nodes/s");
    for (Process *p : {&windows, &linux_process}) {
        p->send("quit");
        ExitInfo e = p->wait(20000);
        EXPECT_TRUE(e.finished && e.exited && e.status == 0) << describe(e);
    }
    EXPECT_EQ(windows.errorText(), "");
}

CORVIX_FOR_EACH_BUILD(WindowsProtocol);

}  // namespace
