// The Windows programs under Wine, next to the Linux programs of the same
// levels: where they are, how Wine names Linux paths, and conversations that
// run the same commands through both and compare what they print.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "integration/search_support.h"

namespace corvix_test {

// Directory of the Windows programs, the relay and their network file:
// $CORVIX_WINDOWS_DIR, else build/windows of the source tree.
inline std::string windowsDir() {
    const char *dir = std::getenv("CORVIX_WINDOWS_DIR");
    return dir && *dir ? dir : CORVIX_WINDOWS_DIR;
}

inline std::string windowsProgram(const std::string &isa) { return windowsDir() + "/corvix-" + isa + ".exe"; }

// The name a Windows program under Wine uses for a Linux path: drive Z: is
// the Linux root, and the separators are backslashes.
inline std::string wineName(const std::string &linux_path) {
    std::string name = "Z:" + linux_path;
    for (char &c : name)
        if (c == '/') c = '\\';
    return name;
}

inline bool fileExists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Replaces the figures that depend on the clock: the time and speed fields
// of the search lines and the summaries of "perft" and "bench".
inline std::string maskTiming(const std::string &text) {
    static const std::regex time_field(" time [0-9]+ ");
    static const std::regex nps_field(" nps [0-9]+ ");
    static const std::regex summary(" nodes in [0-9]+ ms, speed = [0-9]+ nodes/s");
    std::string out = std::regex_replace(text, time_field, " time # ");
    out = std::regex_replace(out, nps_field, " nps # ");
    return std::regex_replace(out, summary, " nodes in # ms, speed = # nodes/s");
}

// Sends the commands one at a time and collects what each prints: a "go" or
// "bench" until its last line, any other command until the "readyok" of an
// "isready" sent after it. Nothing is pending while a search runs, so the
// searches are the same whatever the speed of the pipe. Stops at the first
// command that is not answered in time (its entry then says so).
inline std::vector<std::string> converse(Process &p, const std::vector<std::string> &commands,
                                         int timeout_ms = 60000) {
    std::vector<std::string> out;
    std::string line;
    for (const std::string &command : commands) {
        bool search = command.rfind("go", 0) == 0;
        bool bench = command == "bench";
        if (!p.send(command) || (!search && !bench && !p.send("isready"))) {
            out.push_back("<cannot send " + command + ">");
            return out;
        }
        for (;;) {
            if (!p.readLine(line, timeout_ms)) {
                out.push_back("<no answer to " + command + ">");
                return out;
            }
            if (!search && !bench && line == "readyok") break;
            out.push_back(maskTiming(line));
            if (search && line.rfind("bestmove", 0) == 0) break;
            if (bench && line.find(" nodes in ") != std::string::npos) break;
        }
    }
    return out;
}

// Reads the start-up report of a program just started; false when it did
// not come in time.
inline bool skipReport(Process &p) {
    std::vector<std::string> lines;
    return p.readUntil(TABLE_OK, lines, 30000);
}

// One level of the Windows programs; skipped when they are not built,
// unless CORVIX_REQUIRE_WINDOWS is set (as the test script does).
class WindowsTest : public testing::TestWithParam<std::string> {
protected:
    std::string exe() const { return windowsProgram(GetParam()); }
    std::string linuxProgram() const { return programPath(GetParam()); }

    void SetUp() override {
        const char *require = std::getenv("CORVIX_REQUIRE_WINDOWS");
        std::string missing;
        for (const std::string &file : {exe(), windowsDir() + "/corvix-relay.exe",
                                        windowsDir() + "/nn-82215d0fd0df.nnue", networkFile()})
            if (!fileExists(file)) missing = file;
        if (missing.empty()) return;
        if (require && *require)
            GTEST_FAIL() << missing << " is missing: run scripts/build-windows.sh";
        else
            GTEST_SKIP() << missing << " is missing: run scripts/build-windows.sh";
    }
};

}  // namespace corvix_test
