// Two searching threads in a Windows program: the helper is started and
// parked through the standard library's threads there, reaches its state
// through the TLS slots of the thread environment block, and stops with the
// main thread.
#include <string>
#include <vector>

#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

class WindowsThreads : public WindowsTest {};

TEST_P(WindowsThreads, TwoThreadsSearchAndStop) {
    Engine e(exe(), windowsDir(), StdinMode::PIPE);
    ASSERT_TRUE(e.ok());
    ASSERT_TRUE(e.send("setoption name Threads value 2"));
    // A search to a fixed depth: iteration lines, then a move.
    std::vector<std::string> lines = e.search("position startpos moves e2e4 e7e5\ngo depth 9");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(startsWith(lines.front(), "info depth 1 ")) << lines.front();
    ASSERT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
    // The move is legal: the engine takes it in a position command and
    // searches on from there.
    lines = e.search("position startpos moves e2e4 e7e5 " + lines.back().substr(9) + "\ngo depth 4");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
    EXPECT_TRUE(startsWith(lines.front(), "info depth 1 ")) << lines.front();
    // "stop" during "go infinite" ends both threads at once.
    ASSERT_TRUE(e.send("go infinite"));
    std::string line;
    ASSERT_TRUE(e.process().readLine(line, 10000));
    usleep(300 * 1000);
    long long start = nowMs();
    ASSERT_TRUE(e.send("stop"));
    bool got = false;
    while (!got && e.process().readLine(line, 5000)) got = startsWith(line, "bestmove ");
    EXPECT_TRUE(got);
    EXPECT_LE(nowMs() - start, 300);
    EXPECT_TRUE(e.quit());
    EXPECT_EQ(e.process().errorText(), "");
}

CORVIX_FOR_EACH_BUILD(WindowsThreads);

}  // namespace
