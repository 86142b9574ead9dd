// Tablebases in the Windows programs: directory lists written the Windows
// way (drive letters, backslashes, ";" between directories), the root
// answers from the tables, and damaged files, all as on Linux.
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "windows/windows_support.h"

using namespace corvix_test;

namespace {

std::string tableDir() { return std::string(CORVIX_TEST_DATA) + "/syzygy"; }

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string SUCCESS = "info debug Initialisation of Syzygy : success (4 pieces)";
const std::string FAILURE = "info debug Initialisation of Syzygy : failure";

class WindowsTablebases : public WindowsTest {};

TEST_P(WindowsTablebases, DirectoryListsTheWindowsWay) {
    const std::string tables = wineName(tableDir());
    std::string forward_slashes = tables;
    for (char &c : forward_slashes)
        if (c == '\\') c = '/';
    struct Case {
        const char *name;
        std::string path;
        std::string report;
    };
    const std::vector<Case> cases = {
        {"tables first, then a missing directory", tables + ";Z:\\tmp\\missing", SUCCESS},
        {"a missing directory first", "Z:\\tmp\\missing;" + tables, SUCCESS},
        {"forward slashes", forward_slashes, SUCCESS},
        {"a trailing backslash", tables + "\\", SUCCESS},
        {"empty entries", ";;" + tables + ";", SUCCESS},
        {"a colon does not separate", "Z:\\tmp\\missing:" + tables, FAILURE},
        {"a Linux path list", "/tmp/missing:" + tableDir(), FAILURE},
        {"<empty>", "<empty>", FAILURE},
    };
    Process p(exe(), {}, windowsDir());
    ASSERT_TRUE(skipReport(p));
    std::vector<std::string> commands;
    for (const Case &c : cases) commands.push_back("setoption name SyzygyPath value " + c.path);
    std::vector<std::string> lines = converse(p, commands);
    ASSERT_EQ(lines.size(), cases.size());
    for (size_t i = 0; i < cases.size(); i++) EXPECT_EQ(lines[i], cases[i].report) << cases[i].name;
    p.send("quit");
    EXPECT_TRUE(p.wait(10000).exited);
    EXPECT_EQ(p.errorText(), "");
}

TEST_P(WindowsTablebases, RootAnswersAsOnLinux) {
    const std::vector<std::string> positions = {
        "8/8/8/4k3/8/8/8/3QK3 w - - 0 1",
        "8/8/8/8/2K5/8/r7/5k2 b - - 0 1",
        "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1",
        "k7/8/8/8/P7/1K6/8/8 w - - 0 1",
        "8/8/8/8/8/2k5/2p5/K1N5 w - - 0 1",
    };
    auto run = [&](const std::string &program, const std::string &dir, const std::string &path) {
        std::vector<std::string> commands = {"setoption name SyzygyPath value " + path};
        for (const std::string &fen : positions) {
            commands.push_back("position fen " + fen);
            commands.push_back("go depth 6");
        }
        Process p(program, {}, dir);
        EXPECT_TRUE(skipReport(p));
        std::vector<std::string> lines = converse(p, commands);
        p.send("quit");
        EXPECT_TRUE(p.wait(10000).exited);
        return lines;
    };
    std::vector<std::string> windows = run(exe(), windowsDir(), wineName(tableDir()) + ";Z:\\tmp\\missing");
    std::vector<std::string> linux_lines = run(linuxProgram(), binaryDir(), tableDir() + ";/tmp/missing");
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(windows[0], SUCCESS);
    EXPECT_EQ(windows, linux_lines);
    // The tables answer the first positions at the root, without iterations.
    ASSERT_GE(windows.size(), 3u);
    EXPECT_TRUE(startsWith(windows[1], "info score cp 99")) << windows[1];
}

TEST_P(WindowsTablebases, DamagedFilesAreRefusedAsOnLinux) {
    const std::string good_w = readFile(tableDir() + "/KQvK.rtbw");
    const std::string good_z = readFile(tableDir() + "/KQvK.rtbz");
    ASSERT_FALSE(good_w.empty());
    std::string bad_magic = good_w;
    bad_magic[0] ^= 0x01;
    struct Damage {
        const char *name;
        std::string w, z;
    };
    const std::vector<Damage> damages = {
        {"wrong magic number", bad_magic, good_z},
        {"size that fails the test", good_w.substr(0, good_w.size() - 1), good_z},
        {"header only", good_w.substr(0, 16), good_z.substr(0, 16)},
        {"good WDL, cut DTZ", good_w, good_z.substr(0, good_z.size() / 2 / 64 * 64 + 16)},
    };
    // One engine of each system, both in the directory of the damaged files.
    TempDir bad;
    ASSERT_EQ(symlink(networkFile().c_str(), bad.file("nn-82215d0fd0df.nnue").c_str()), 0);
    Process windows(exe(), {}, bad.path());
    Process linux_process(linuxProgram(), {}, bad.path());
    ASSERT_TRUE(skipReport(windows));
    ASSERT_TRUE(skipReport(linux_process));
    for (const Damage &d : damages) {
        SCOPED_TRACE(d.name);
        std::ofstream(bad.file("KQvK.rtbw"), std::ios::binary | std::ios::trunc) << d.w;
        std::ofstream(bad.file("KQvK.rtbz"), std::ios::binary | std::ios::trunc) << d.z;
        auto commands = [](const std::string &path) {
            return std::vector<std::string>{"setoption name SyzygyPath value " + path,
                                            "position fen 8/8/8/4k3/8/8/8/3QK3 w - - 0 1", "go depth 4",
                                            "position fen 8/8/8/4k3/8/8/8/3QK3 b - - 0 1 moves e5d4", "go depth 4",
                                            "uci"};
        };
        size_t windows_err = windows.errorText().size(), linux_err = linux_process.errorText().size();
        std::vector<std::string> windows_lines = converse(windows, commands(wineName(bad.path())));
        std::vector<std::string> linux_lines = converse(linux_process, commands(bad.path()));
        EXPECT_EQ(windows_lines, linux_lines);
        EXPECT_EQ(windows.errorText().substr(windows_err), linux_process.errorText().substr(linux_err));
        ASSERT_FALSE(windows_lines.empty());
        EXPECT_EQ(windows_lines.back(), "uciok");
    }
    for (Process *p : {&windows, &linux_process}) {
        p->send("quit");
        ExitInfo e = p->wait(10000);
        EXPECT_TRUE(e.finished && e.exited && e.status == 0) << describe(e);
    }
}

CORVIX_FOR_EACH_BUILD(WindowsTablebases);

}  // namespace
