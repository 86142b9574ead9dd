// Drives a built program as a child process over pipes, the way a chess GUI
// does, for the integration tests. Nothing here blocks without a time limit,
// and a child that is still running when its Process goes away is killed.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace corvix_test {

// What the child gets as its standard input.
enum class StdinMode {
    PIPE,          // a pipe the test writes to (send, closeStdin); a Windows
                   // program gets a Windows pipe through the relay
    DEV_NULL,      // /dev/null
    CLOSED,        // no descriptor 0 at all
    FILE,          // a file, named by the stdin_file argument
    TERMINAL,      // a pseudo-terminal the test writes to (a console window
                   // for a Windows program)
    FOREIGN_PIPE,  // a pipe the test writes to, handed to a Windows program as
                   // it is: under Wine it cannot be looked into
};

// How a child ended.
struct ExitInfo {
    bool finished = false;  // it ended before the time limit
    bool exited = false;    // it called exit (otherwise a signal ended it)
    int status = -1;        // exit status when exited
    int signal = 0;         // signal number otherwise
};

std::string describe(const ExitInfo &info);

// Milliseconds of a monotonic clock.
long long nowMs();

// Windows programs (names ending in ".exe") are run under Wine: with
// StdinMode::PIPE through corvix-relay.exe beside them, which gives them a
// Windows pipe as a Windows GUI would; with every other mode directly.
class Process {
public:
    // Starts program with the arguments (argv[0] is the program) in the
    // working directory cwd. Throws std::runtime_error when it cannot start.
    Process(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
            StdinMode stdin_mode = StdinMode::PIPE, const std::string &stdin_file = "");
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Writes the bytes as they are (send adds the line feed). Output the
    // child writes meanwhile is collected, so a large script cannot block
    // both sides. False when the child no longer reads or the time ran out.
    bool sendRaw(const std::string &bytes, int timeout_ms = 10000);
    bool send(const std::string &line, int timeout_ms = 10000) { return sendRaw(line + "\n", timeout_ms); }
    // Closes the child's standard input (it then sees the end of input).
    void closeStdin();

    // Next line of standard output, without its line feed. False when no full
    // line arrived in time or the output ended (a last unterminated piece is
    // returned as a line first).
    bool readLine(std::string &line, int timeout_ms = 10000);
    // Lines up to and including the first one equal to last; the bool is
    // false when that line did not arrive in time.
    bool readUntil(const std::string &last, std::vector<std::string> &lines, int timeout_ms = 10000);
    // True once the child has closed its standard output and every line of
    // it has been handed out.
    bool outputEnded() const { return stdout_fd_ < 0 && out_.empty(); }
    // Everything the child writes to standard output until it closes it.
    // False when it did not close it in time.
    bool readToEnd(std::string &text, int timeout_ms = 10000);

    // Waits for the child to end; kills it when the time runs out (finished
    // is then false).
    ExitInfo wait(int timeout_ms = 10000);
    // Kills the child now, if it still runs.
    void kill();

    // What the child wrote to standard error so far.
    const std::string &errorText();
    pid_t pid() const { return pid_; }

private:
    // Waits up to timeout_ms for output and collects it; false on time-out
    // with nothing new.
    bool pump(int timeout_ms);
    void drainAvailable();
    void drainTerminal();

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    bool terminal_ = false;  // stdin_fd_ is a terminal's master side
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    std::string out_;  // standard output not yet handed out
    std::string err_;
    bool reaped_ = false;
    ExitInfo exit_;
};

// Result of runScript.
struct RunResult {
    std::string out;
    std::string err;
    ExitInfo exit;
    bool output_closed = false;  // standard output reached its end in time
};

// Runs a program with the script as its whole standard input (closed after
// it), collects its output until it ends, and returns all of it.
RunResult runScript(const std::string &program, const std::string &script, const std::string &cwd,
                    int timeout_ms = 30000, const std::vector<std::string> &args = {});

// Splits text into lines (the line feeds removed; a last piece without one
// counts as a line).
std::vector<std::string> splitLines(const std::string &text);

// ---------------------------------------------------------------------------
// The builds under test.
// ---------------------------------------------------------------------------

// Whether the program is a Windows program, run under Wine.
bool isWindowsProgram(const std::string &program);
// The Wine loader: $CORVIX_WINE, else Debian's wine64.
std::string wineLoader();

// Directory that holds the built programs and the network file.
std::string binaryDir();
// Path of the program of one instruction-set level ("sse2", "avx2", ...).
std::string programPath(const std::string &isa);
// The levels configured in this build tree whose instructions this processor
// has; the others are left out with a message on standard error.
const std::vector<std::string> &testedIsas();
// Whether this processor can run the given level.
bool processorRuns(const std::string &isa);
// Test name suffix of a parameterised test: the level itself.
inline std::string isaTestName(const testing::TestParamInfo<std::string> &info) { return info.param; }

// Path of the network file next to the programs.
std::string networkFile();

// A fresh empty directory that is removed with everything in it when the
// object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes a network file of the published layout with a description of n
// bytes (the length field says n) plus extra trailing bytes; the parameters
// are zero. total_override >= 0 sets the file length directly instead.
void writeNetworkFile(const std::string &path, int description_length, long long extra_bytes = 0,
                      long long total_override = -1);

}  // namespace corvix_test

// Runs every test of a value-parameterised suite (parameter: the level name)
// against each build this processor can run.
#define CORVIX_FOR_EACH_BUILD(Suite) \
    INSTANTIATE_TEST_SUITE_P(Build, Suite, testing::ValuesIn(corvix_test::testedIsas()), corvix_test::isaTestName)
