// Standard input of the Windows programs in every form a user can give it:
// a pipe from a Windows parent (how a Windows GUI starts an engine, through
// the relay), a pipe that cannot be looked into (a Linux pipe under Wine:
// the reader thread takes over), a console window (a terminal under Wine), a
// file, the null device and no input at all. Whatever it is, a search stops
// as soon as a line arrives ("isready" is answered at once without stopping
// it), the timed search keeps to its time, and the end of input ends the
// program.
#include <fstream>
#include <string>
#include <vector>

#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

class WindowsInput : public WindowsTest {};

struct InputKind {
    const char *name;
    StdinMode mode;
};

const InputKind INTERACTIVE[] = {
    {"pipe from a Windows parent", StdinMode::PIPE},
    {"pipe that cannot be peeked", StdinMode::FOREIGN_PIPE},
    {"console", StdinMode::TERMINAL},
};

// Starts "go infinite" (unless one is running), waits until the search is
// under way, sends the line and returns the milliseconds until a line that
// starts with answer (-1 when it did not come); the lines after it are left
// to the caller.
long long answerTime(Engine &e, const std::string &line, const std::string &answer = "bestmove ",
                     bool start_search = true) {
    if (start_search && !e.send("go infinite")) return -1;
    std::string text;
    // The first iteration lines come at once and the search then goes on.
    // Only the time from the line to "bestmove" is measured: the wait for the
    // search to start is generous, because a console under Wine has been seen
    // to hold a line back for seconds while other Wine programs keep the
    // machine busy.
    if (start_search && (!e.process().readLine(text, 30000) || !startsWith(text, "info depth "))) return -1;
    usleep(300 * 1000);
    long long start = nowMs();
    if (!e.send(line)) return -1;
    while (e.process().readLine(text, 5000)) {
        if (startsWith(text, answer)) return nowMs() - start;
        if (startsWith(text, "bestmove ")) return -1;
    }
    return -1;
}

TEST_P(WindowsInput, StopAndQuitEndGoInfiniteAtOnceAndIsreadyIsAnswered) {
    for (const InputKind &kind : INTERACTIVE) {
        SCOPED_TRACE(kind.name);
        Engine e(exe(), windowsDir(), kind.mode);
        ASSERT_TRUE(e.ok());
        long long ms = answerTime(e, "stop");
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, 100);
        // "isready" gets its answer while the search goes on.
        ms = answerTime(e, "isready", "readyok");
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, 100);
        ms = answerTime(e, "stop", "bestmove ", false);
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, 100);
        ms = answerTime(e, "quit");
        EXPECT_GE(ms, 0);
        EXPECT_LE(ms, 100);
        ExitInfo exit = e.process().wait(10000);
        EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
        EXPECT_EQ(e.process().errorText(), "");
    }
}

TEST_P(WindowsInput, MovetimeKeepsToItsTime) {
    Engine e(exe(), windowsDir(), StdinMode::PIPE);
    ASSERT_TRUE(e.ok());
    long long start = nowMs();
    std::vector<std::string> lines = e.search("go movetime 1000");
    long long ms = nowMs() - start;
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
    EXPECT_GE(ms, 1000);
    EXPECT_LE(ms, 1200);
    EXPECT_TRUE(e.quit());
}

TEST_P(WindowsInput, EndOfInputEndsTheProgram) {
    // Closing the pipe ends the program, also in the middle of "go infinite".
    for (const InputKind &kind : INTERACTIVE) {
        if (kind.mode == StdinMode::TERMINAL) continue;  // a console window is closed, not ended
        SCOPED_TRACE(kind.name);
        Engine e(exe(), windowsDir(), kind.mode);
        ASSERT_TRUE(e.ok());
        ASSERT_TRUE(e.send("isready"));
        std::string line;
        ASSERT_TRUE(e.process().readLine(line, 10000));
        EXPECT_EQ(line, "readyok");
        ASSERT_TRUE(e.send("go infinite"));
        ASSERT_TRUE(e.process().readLine(line, 10000));
        e.process().closeStdin();
        std::string rest;
        EXPECT_TRUE(e.process().readToEnd(rest, 10000));
        EXPECT_TRUE(startsWith(splitLines(rest).back(), "bestmove ")) << rest;
        ExitInfo exit = e.process().wait(10000);
        EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
    }
}

TEST_P(WindowsInput, InputThatIsNoPipe) {
    // A file is read to its end, a "go infinite" in it stops at the end of
    // the file; the null device and a closed input end the program at once.
    TempDir dir;
    std::string script = dir.file("commands.txt");
    std::ofstream(script, std::ios::binary) << "isready\r\nposition startpos moves e2e4\nperft 2\ngo infinite\n";
    struct Case {
        const char *name;
        StdinMode mode;
        std::vector<std::string> after_report;  // output after the start-up lines, timing masked
    };
    const std::vector<Case> cases = {
        {"file", StdinMode::FILE, {"readyok"}},
        {"null device", StdinMode::DEV_NULL, {}},
        {"closed", StdinMode::CLOSED, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Process p(exe(), {}, windowsDir(), c.mode, script);
        std::string out;
        EXPECT_TRUE(p.readToEnd(out, 30000));
        ExitInfo exit = p.wait(10000);
        EXPECT_TRUE(exit.finished && exit.exited && exit.status == 0) << describe(exit);
        EXPECT_EQ(p.errorText(), "");
        std::vector<std::string> lines = splitLines(out);
        std::vector<std::string> head = startupLines();
        ASSERT_GE(lines.size(), head.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
        std::vector<std::string> rest(lines.begin() + head.size(), lines.end());
        if (c.mode != StdinMode::FILE) {
            EXPECT_EQ(rest, c.after_report);
            continue;
        }
        ASSERT_GE(rest.size(), 24u) << out;
        EXPECT_EQ(rest[0], "readyok");
        EXPECT_EQ(maskTiming(rest[21]), "600 nodes in # ms, speed = # nodes/s");
        EXPECT_TRUE(startsWith(rest.back(), "bestmove ")) << rest.back();
    }
}

CORVIX_FOR_EACH_BUILD(WindowsInput);

}  // namespace
