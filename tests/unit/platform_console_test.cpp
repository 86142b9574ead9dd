// Console input: the buffered reader and the pending-input test, run in a
// child process whose standard input is a pipe, /dev/null, a file, or closed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/console.h"

namespace {

// Inside the child a failed check ends it with the line number as status.
#define CHILD_CHECK(cond) \
    do { \
        if (!(cond)) _exit(__LINE__ % 250 + 1); \
    } while (0)

std::string readLineFromConsole() {
    std::string line;
    for (int c = consoleGetChar(); c >= 0 && c != '\n'; c = consoleGetChar()) line += (char)c;
    return line;
}

// Forks; the child gets stdin_fd as descriptor 0 (-1: no descriptor 0),
// closes the descriptors in close_in_child, runs child() and exits with 0.
// The parent runs parent() meanwhile and returns the child's status.
int runInChild(int stdin_fd, std::initializer_list<int> close_in_child, const std::function<void()> &child,
               const std::function<void()> &parent = [] {}) {
    pid_t pid = fork();
    if (pid == 0) {
        for (int fd : close_in_child) close(fd);
        if (stdin_fd >= 0) {
            dup2(stdin_fd, 0);
            close(stdin_fd);
        } else {
            close(0);
        }
        consoleInit();
        child();
        _exit(0);
    }
    if (stdin_fd > 0) close(stdin_fd);
    parent();
    int status = 0;
    for (int waited = 0; waited < 10000; waited += 5) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
        usleep(5000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;  // hung
}

TEST(Console, BurstOfLinesStaysInTheBufferAndEndOfInputIsNotPending) {
    int data[2], sync[2];
    ASSERT_EQ(pipe(data), 0);
    ASSERT_EQ(pipe(sync), 0);
    // A GUI writes two lines at once and keeps its end open.
    ASSERT_EQ(write(data[1], "stop\nisready\n", 13), 13);
    int status = runInChild(
        data[0], {data[1], sync[0]},
        [&] {
            CHILD_CHECK(consoleInputPending());
            CHILD_CHECK(readLineFromConsole() == "stop");
            CHILD_CHECK(consoleInputPending());  // "isready" is already buffered
            CHILD_CHECK(readLineFromConsole() == "isready");
            CHILD_CHECK(!consoleInputPending());
            CHILD_CHECK(!consoleInputEnded());
            CHILD_CHECK(write(sync[1], "x", 1) == 1);  // now close the input
            for (int i = 0; i < 5000 && !consoleInputEnded(); i++) {
                CHILD_CHECK(!consoleInputPending());  // the end of input alone is no input
                usleep(1000);
            }
            CHILD_CHECK(consoleInputEnded());
            CHILD_CHECK(!consoleInputPending());
            CHILD_CHECK(consoleGetChar() == -1);
            CHILD_CHECK(consoleGetChar() == -1);
        },
        [&] {
            close(sync[1]);
            char c;
            if (read(sync[0], &c, 1) == 1) close(data[1]);
            close(sync[0]);
        });
    EXPECT_EQ(status, 0);
}

TEST(Console, DataFollowedByEndOfInputIsReadFirst) {
    int data[2];
    ASSERT_EQ(pipe(data), 0);
    ASSERT_EQ(write(data[1], "go\nx", 4), 4);
    close(data[1]);
    int status = runInChild(data[0], {}, [] {
        CHILD_CHECK(!consoleInputEnded());
        CHILD_CHECK(consoleInputPending());
        CHILD_CHECK(readLineFromConsole() == "go");
        CHILD_CHECK(consoleInputPending());
        CHILD_CHECK(consoleGetChar() == 'x');
        CHILD_CHECK(!consoleInputPending());
        CHILD_CHECK(consoleInputEnded());
        CHILD_CHECK(consoleGetChar() == -1);
    });
    EXPECT_EQ(status, 0);
}

TEST(Console, BlockingReadWaitsForTheWriter) {
    int data[2];
    ASSERT_EQ(pipe(data), 0);
    int status = runInChild(
        data[0], {data[1]},
        [] {
            CHILD_CHECK(readLineFromConsole() == "uci");
            CHILD_CHECK(consoleGetChar() == -1);
            CHILD_CHECK(consoleInputEnded());
        },
        [&] {
            usleep(100000);
            EXPECT_EQ(write(data[1], "u", 1), 1);
            usleep(50000);
            EXPECT_EQ(write(data[1], "ci\n", 3), 3);
            close(data[1]);
        });
    EXPECT_EQ(status, 0);
}

TEST(Console, DevNullAndRegularFile) {
    int null_fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(null_fd, 0);
    EXPECT_EQ(runInChild(null_fd, {},
                         [] {
                             CHILD_CHECK(!consoleInputPending());
                             CHILD_CHECK(consoleInputEnded());
                             CHILD_CHECK(consoleGetChar() == -1);
                         }),
              0);

    char name[] = "/tmp/corvix-console-XXXXXX";
    int file_fd = mkstemp(name);
    ASSERT_GE(file_fd, 0);
    ASSERT_EQ(write(file_fd, "uci", 3), 3);
    lseek(file_fd, 0, SEEK_SET);
    unlink(name);
    EXPECT_EQ(runInChild(file_fd, {},
                         [] {
                             CHILD_CHECK(consoleInputPending());
                             CHILD_CHECK(readLineFromConsole() == "uci");
                             CHILD_CHECK(!consoleInputPending());
                             CHILD_CHECK(consoleInputEnded());
                         }),
              0);
}

TEST(Console, ClosedDescriptorReadsAsEndedAndIsNotReused) {
    EXPECT_EQ(runInChild(-1, {},
                         [] {
                             CHILD_CHECK(consoleInputEnded());
                             CHILD_CHECK(!consoleInputPending());
                             CHILD_CHECK(consoleGetChar() == -1);
                             // A file opened now must not become standard input.
                             int fd = open("/dev/zero", O_RDONLY);
                             CHILD_CHECK(fd > 2);
                             CHILD_CHECK(consoleGetChar() == -1);
                         }),
              0);
}

}  // namespace
