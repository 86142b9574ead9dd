// Shared expectations of the integration tests: the start-up report and a
// fixture that runs one build.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace corvix_test {

const char *const BANNER = "Corvix 0.7.nnue x64 ('quit' to exit)";
const char *const NETWORK_OK = "info debug Loading NNUE file : success ('nn-82215d0fd0df.nnue')";
const char *const NETWORK_ERROR = "info debug Error while loading NNUE file ('nn-82215d0fd0df.nnue')";
const char *const SYZYGY_FAILURE = "info debug Initialisation of Syzygy : failure";
const char *const TABLE_OK = "info debug Creation of Transposition Table : success (128 MB)";

// The feature line this processor must produce (from the compiler's own
// processor probe, which also checks that the system saves the AVX state).
inline std::string expectedFeatureLine() {
    __builtin_cpu_init();
    std::string line = "info debug Supported instructions : ";
    const bool present[4] = {(bool)__builtin_cpu_supports("popcnt"), (bool)__builtin_cpu_supports("avx"),
                             (bool)__builtin_cpu_supports("avx2"), (bool)__builtin_cpu_supports("bmi2")};
    const char *const names[4] = {"'popcnt'", "'avx1'", "'avx2'", "'bmi2'"};
    bool first = true;
    for (int i = 0; i < 4; i++) {
        if (!present[i]) continue;
        if (!first) line += ", ";
        line += names[i];
        first = false;
    }
    return line;
}

// The answer to "uci": identity, options, "uciok".
const std::vector<std::string> UCI_ANSWER = {
    "id name Corvix 0.7.nnue x64",
    "id author Quorandel",
    "option name Hash type spin default 128 min 1 max 65536",
    "option name Threads type spin default 1 min 1 max 256",
    "option name SyzygyPath type string default <empty>",
    "option name MultiPV type spin default 1 min 1 max 256",
    "option name Ponder type check default false",
    "option name Move Overhead type spin default 25 min 0 max 5000",
    "option name Clear Hash type button",
    "uciok",
};

// The report printed before the analysis tool would run, in this order.
inline std::vector<std::string> reportLines() {
    return {BANNER, expectedFeatureLine(), NETWORK_OK, SYZYGY_FAILURE};
}

// The lines printed before the first command is read: the report, then the
// transposition table.
inline std::vector<std::string> startupLines() {
    std::vector<std::string> lines = reportLines();
    lines.push_back(TABLE_OK);
    return lines;
}

// One build of the engine; the test parameter is its instruction-set level.
class EngineTest : public testing::TestWithParam<std::string> {
protected:
    std::string program() const { return programPath(GetParam()); }

    void SetUp() override {
        if (access(networkFile().c_str(), R_OK) != 0)
            GTEST_FAIL() << networkFile() << " is missing: run scripts/fetch-network.sh " << binaryDir();
    }

    // Runs the script in the directory of the network file; checks that the
    // engine ends by itself with status 0, says nothing on standard error,
    // and prints the start-up report first. Returns the lines after it.
    std::vector<std::string> run(const std::string &script, int timeout_ms = 30000) {
        RunResult r = runScript(program(), script, binaryDir(), timeout_ms);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
        EXPECT_EQ(r.err, "");
        std::vector<std::string> lines = splitLines(r.out);
        std::vector<std::string> head = startupLines();
        EXPECT_GE(lines.size(), head.size()) << r.out;
        if (lines.size() < head.size()) return {};
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
        return std::vector<std::string>(lines.begin() + head.size(), lines.end());
    }
};

}  // namespace corvix_test
