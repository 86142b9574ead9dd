// The assertion convention: a failed ASSERT shows the board, appends one line
// naming the condition, the source file (without the build machine's
// directories) and the line to corvix.log, and ends the program; CHECK ends it
// without the log line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "board/assert.h"

namespace fs = std::filesystem;

namespace {

// Runs the test body in a scratch directory, so that the log file written by
// the dying child (forked, so it shares the working directory) is the test's own.
class AssertionLog : public testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/corvix-assert-XXXXXX";
        dir_ = mkdtemp(templ);
        old_cwd_ = fs::current_path().string();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_cwd_);
        fs::remove_all(dir_);
    }
    static std::string logText() {
        std::ifstream log(LOG_FILE);
        return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    }

    std::string dir_, old_cwd_;
};

void failAssert(int value) { ASSERT(value == 3); } const int ASSERT_LINE = __LINE__;
void failCheck(int value) { CHECK(value == 3); }

TEST_F(AssertionLog, AssertLogsTheFileNameOnly) {
    const int line = ASSERT_LINE;
    EXPECT_DEATH(failAssert(2), "board_assert_test\\.cpp:" + std::to_string(line) + ": Assertion `value == 3' failed");
    EXPECT_EQ(logText(), "Assertion error : value == 3 (file board_assert_test.cpp, line " + std::to_string(line) + ")\n");
}

TEST_F(AssertionLog, CheckWritesNoLogLine) {
    EXPECT_DEATH(failCheck(2), "board_assert_test\\.cpp:[0-9]+: Assertion `value == 3' failed");
    EXPECT_EQ(logText(), "");
}

TEST(SourceFileName, DirectoriesAreDropped) {
    const struct {
        const char *path, *name;
    } cases[] = {
        {"/home/build/corvix/src/search/pvs.cpp", "pvs.cpp"},
        {"C:\\build\\corvix\\src\\board\\makemove.cpp", "makemove.cpp"},
        {"src/board/mixed\\sliders.cpp", "sliders.cpp"},
        {"pvs.cpp", "pvs.cpp"},
        {"", ""},
    };
    for (const auto &c : cases) EXPECT_STREQ(sourceFileName(c.path), c.name) << c.path;
}

}  // namespace
