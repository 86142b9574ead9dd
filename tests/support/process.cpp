#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace corvix_test {

long long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

namespace {

int remainingMs(long long deadline) {
    long long left = deadline - nowMs();
    return left > 0 ? (int)left : 0;
}

// Once per test program: writing to a child that has ended must give EPIPE,
// not kill the test; and descriptors 0-2 of the test itself must be taken, so
// that no pipe end lands on them (a test run with no standard input).
void prepareTestProcess() {
    static bool done = false;
    if (done) return;
    done = true;
    signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int null_fd = open("/dev/null", O_RDWR);
            if (null_fd >= 0 && null_fd != fd) {
                dup2(null_fd, fd);
                close(null_fd);
            }
        }
    }
}

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string directoryOf(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Wine's settings for the programs the tests start, unless the caller chose
// them: no debug output (it would land on standard error), and a prefix of
// the tests' own inside the directory of the Windows programs.
void prepareWine(const std::string &program) {
    setenv("WINEDEBUG", "-all", 0);
    setenv("WINEPREFIX", (directoryOf(program) + "/wineprefix").c_str(), 0);
}

void closeFd(int &fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Reads what is available on fd into text; closes fd at its end. Returns
// true when something happened (data or end).
bool readAvailable(int &fd, std::string &text) {
    bool progress = false;
    char buf[65536];
    while (fd >= 0) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, (size_t)n);
            progress = true;
        } else if (n == 0) {
            closeFd(fd);
            progress = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            closeFd(fd);
            progress = true;
        }
    }
    return progress;
}

}  // namespace

std::string describe(const ExitInfo &info) {
    std::ostringstream s;
    if (!info.finished)
        s << "did not end in time (killed)";
    else if (info.exited)
        s << "exited with status " << info.status;
    else
        s << "ended by signal " << info.signal << " (" << strsignal(info.signal) << ")";
    return s.str();
}

bool isWindowsProgram(const std::string &program) {
    return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

std::string wineLoader() {
    const char *wine = std::getenv("CORVIX_WINE");
    return wine && *wine ? wine : "/usr/lib/wine/wine64";
}

Process::Process(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
                 StdinMode stdin_mode, const std::string &stdin_file) {
    prepareTestProcess();

    bool writes_input = stdin_mode == StdinMode::PIPE || stdin_mode == StdinMode::FOREIGN_PIPE;
    int in_pipe[2] = {-1, -1}, out_pipe[2], err_pipe[2], exec_pipe[2];
    if ((writes_input && pipe2(in_pipe, O_CLOEXEC) != 0) || pipe2(out_pipe, O_CLOEXEC) != 0 ||
        pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(exec_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(strerror(errno)));
    // The child's end of a terminal, or the file it reads.
    int stdin_source = -1;
    std::string terminal_name;
    if (stdin_mode == StdinMode::FILE) {
        stdin_source = open(stdin_file.c_str(), O_RDONLY | O_CLOEXEC);
        if (stdin_source < 0) throw std::runtime_error("cannot open " + stdin_file);
    } else if (stdin_mode == StdinMode::TERMINAL) {
        int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master))
            throw std::runtime_error("pseudo-terminal: " + std::string(strerror(errno)));
        terminal_name = ptsname(master);
        // A terminal in raw mode, as a console program keeps it: the Enter
        // key's carriage return reaches the program as it is, and nothing
        // waits for a line feed. 80 x 25 characters.
        struct termios mode;
        if (tcgetattr(master, &mode) == 0) {
            cfmakeraw(&mode);
            tcsetattr(master, TCSANOW, &mode);
        }
        struct winsize size = {25, 80, 0, 0};
        ioctl(master, TIOCSWINSZ, &size);
        in_pipe[1] = master;
        terminal_ = true;
    }

    std::vector<std::string> argv_text;
    if (isWindowsProgram(program)) {
        prepareWine(program);
        argv_text.push_back(wineLoader());
        if (stdin_mode == StdinMode::PIPE) argv_text.push_back(directoryOf(program) + "/corvix-relay.exe");
    }
    argv_text.push_back(program);
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_text) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork: " + std::string(strerror(errno)));
    if (pid_ == 0) {
        // Child: only async-signal-safe calls from here on.
        if (writes_input) {
            dup2(in_pipe[0], 0);
        } else if (stdin_mode == StdinMode::FILE) {
            dup2(stdin_source, 0);
        } else if (stdin_mode == StdinMode::TERMINAL) {
            // A session of its own with the terminal as its controlling one.
            setsid();
            int slave = open(terminal_name.c_str(), O_RDWR);
            if (slave >= 0) {
                ioctl(slave, TIOCSCTTY, 0);
                dup2(slave, 0);
                if (slave != 0) close(slave);
            }
        } else if (stdin_mode == StdinMode::DEV_NULL) {
            int null_fd = open("/dev/null", O_RDONLY);
            dup2(null_fd, 0);
            if (null_fd != 0) close(null_fd);
        } else {
            close(0);
        }
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        int err = 0;
        if (chdir(cwd.c_str()) != 0) {
            err = errno;
        } else {
            execv(argv[0], argv.data());
            err = errno;
        }
        ssize_t ignored = write(exec_pipe[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }

    if (writes_input) {
        close(in_pipe[0]);
        stdin_fd_ = in_pipe[1];
        setNonBlocking(stdin_fd_);
    } else if (stdin_mode == StdinMode::TERMINAL) {
        stdin_fd_ = in_pipe[1];
        setNonBlocking(stdin_fd_);
    }
    if (stdin_source >= 0) close(stdin_source);
    close(out_pipe[1]);
    close(err_pipe[1]);
    close(exec_pipe[1]);
    stdout_fd_ = out_pipe[0];
    stderr_fd_ = err_pipe[0];
    setNonBlocking(stdout_fd_);
    setNonBlocking(stderr_fd_);

    // The exec pipe closes without data when execv succeeded.
    int err = 0;
    ssize_t n;
    do {
        n = read(exec_pipe[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(exec_pipe[0]);
    if (n == (ssize_t)sizeof err) {
        wait(5000);
        closeFd(stdin_fd_);
        closeFd(stdout_fd_);
        closeFd(stderr_fd_);
        throw std::runtime_error("cannot start " + program + " in " + cwd + ": " + strerror(err));
    }
}

Process::~Process() {
    kill();
    closeFd(stdin_fd_);
    closeFd(stdout_fd_);
    closeFd(stderr_fd_);
}

bool Process::pump(int timeout_ms) {
    struct pollfd fds[3];
    int count = 0;
    if (stdout_fd_ >= 0) fds[count++] = {stdout_fd_, POLLIN, 0};
    if (stderr_fd_ >= 0) fds[count++] = {stderr_fd_, POLLIN, 0};
    if (count == 0) {
        if (timeout_ms > 0) usleep(1000 * (timeout_ms < 10 ? timeout_ms : 10));
        return false;
    }
    if (terminal_ && stdin_fd_ >= 0) fds[count++] = {stdin_fd_, POLLIN, 0};
    int ready = poll(fds, count, timeout_ms);
    if (ready <= 0) return false;
    drainTerminal();
    bool progress = readAvailable(stdout_fd_, out_);
    progress |= readAvailable(stderr_fd_, err_);
    return progress;
}

void Process::drainAvailable() {
    drainTerminal();
    readAvailable(stdout_fd_, out_);
    readAvailable(stderr_fd_, err_);
}

void Process::drainTerminal() {
    // What the terminal shows (the echo of the input) is not looked at, but
    // it must be read, or the child would block once the terminal is full.
    std::string shown;
    if (terminal_) readAvailable(stdin_fd_, shown);
}

bool Process::sendRaw(const std::string &text, int timeout_ms) {
    if (stdin_fd_ < 0) return false;
    // The Enter key of a terminal sends a carriage return.
    std::string bytes = text;
    if (terminal_)
        for (char &c : bytes)
            if (c == '\n') c = '\r';
    long long deadline = nowMs() + timeout_ms;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(stdin_fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;  // EPIPE: the child is gone
        if (remainingMs(deadline) == 0) return false;
        // The pipe is full: collect the child's output while waiting, so that
        // it can go on reading.
        struct pollfd fds[3];
        int count = 0;
        fds[count++] = {stdin_fd_, POLLOUT, 0};
        if (stdout_fd_ >= 0) fds[count++] = {stdout_fd_, POLLIN, 0};
        if (stderr_fd_ >= 0) fds[count++] = {stderr_fd_, POLLIN, 0};
        int left = remainingMs(deadline);
        if (poll(fds, count, left < 100 ? left : 100) > 0) drainAvailable();
    }
    return true;
}

void Process::closeStdin() { closeFd(stdin_fd_); }

bool Process::readLine(std::string &line, int timeout_ms) {
    long long deadline = nowMs() + timeout_ms;
    for (;;) {
        size_t end = out_.find('\n');
        if (end != std::string::npos) {
            line = out_.substr(0, end);
            out_.erase(0, end + 1);
            return true;
        }
        if (stdout_fd_ < 0) {
            if (out_.empty()) return false;
            line = out_;
            out_.clear();
            return true;
        }
        int left = remainingMs(deadline);
        if (left == 0) return false;
        pump(left);
    }
}

bool Process::readUntil(const std::string &last, std::vector<std::string> &lines, int timeout_ms) {
    long long deadline = nowMs() + timeout_ms;
    std::string line;
    while (readLine(line, remainingMs(deadline))) {
        lines.push_back(line);
        if (line == last) return true;
    }
    return false;
}

bool Process::readToEnd(std::string &text, int timeout_ms) {
    long long deadline = nowMs() + timeout_ms;
    while (stdout_fd_ >= 0) {
        int left = remainingMs(deadline);
        if (left == 0) break;
        pump(left);
    }
    text += out_;
    out_.clear();
    return stdout_fd_ < 0;
}

ExitInfo Process::wait(int timeout_ms) {
    if (reaped_) return exit_;
    long long deadline = nowMs() + timeout_ms;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            exit_.finished = true;
            exit_.exited = WIFEXITED(status);
            exit_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            exit_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            drainAvailable();
            return exit_;
        }
        if (r < 0 && errno != EINTR) {
            reaped_ = true;
            return exit_;
        }
        int left = remainingMs(deadline);
        if (left == 0) break;
        pump(left < 10 ? left : 10);
    }
    kill();
    exit_.finished = false;
    return exit_;
}

void Process::kill() {
    if (reaped_ || pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    exit_.finished = false;
    exit_.exited = false;
    exit_.signal = SIGKILL;
    drainAvailable();
}

const std::string &Process::errorText() {
    drainAvailable();
    return err_;
}

RunResult runScript(const std::string &program, const std::string &script, const std::string &cwd, int timeout_ms,
                    const std::vector<std::string> &args) {
    RunResult result;
    long long deadline = nowMs() + timeout_ms;
    Process p(program, args, cwd);
    p.sendRaw(script, timeout_ms);
    p.closeStdin();
    result.output_closed = p.readToEnd(result.out, remainingMs(deadline));
    result.exit = p.wait(remainingMs(deadline) + 1000);
    if (!result.exit.finished) result.output_closed = false;
    std::string rest;
    p.readToEnd(rest, 0);
    result.out += rest;
    result.err = p.errorText();
    return result;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------------------

std::string binaryDir() { return CORVIX_BINARY_DIR; }

std::string programPath(const std::string &isa) { return binaryDir() + "/corvix-" + isa; }

std::string networkFile() { return binaryDir() + "/nn-82215d0fd0df.nnue"; }

bool processorRuns(const std::string &isa) {
    __builtin_cpu_init();
    bool popcnt = __builtin_cpu_supports("popcnt");
    if (isa == "sse2") return true;
    if (isa == "popcnt") return popcnt && __builtin_cpu_supports("ssse3");
    if (isa == "avx") return popcnt && __builtin_cpu_supports("avx");
    if (isa == "avx2")
        return popcnt && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
               __builtin_cpu_supports("bmi2");
    return false;
}

const std::vector<std::string> &testedIsas() {
    static std::vector<std::string> isas;
    static bool done = false;
    if (done) return isas;
    done = true;
    std::stringstream list(CORVIX_TEST_ISAS);
    std::string isa;
    while (std::getline(list, isa, ',')) {
        if (isa.empty()) continue;
        if (processorRuns(isa))
            isas.push_back(isa);
        else
            std::fprintf(stderr, "corvix-%s is not tested: this processor lacks its instructions\n", isa.c_str());
    }
    return isas;
}

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/corvix-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp: " + std::string(strerror(errno)));
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeNetworkFile(const std::string &path, int description_length, long long extra_bytes,
                      long long total_override) {
    const long long layout = 21022520LL;
    long long total = total_override >= 0 ? total_override : layout + description_length + extra_bytes;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + path);
    auto put = [&](long long offset, uint32_t value) {
        if (offset < 0 || offset + 4 > total) return;
        unsigned char b[4] = {(unsigned char)value, (unsigned char)(value >> 8), (unsigned char)(value >> 16),
                              (unsigned char)(value >> 24)};
        if (pwrite(fd, b, 4, offset) != 4) throw std::runtime_error("cannot write " + path);
    };
    // The file is sparse: every parameter is zero. Header and hash words carry
    // arbitrary values, which the loader must not look at.
    if (ftruncate(fd, total) != 0) throw std::runtime_error("cannot size " + path);
    put(0, 0x7af32f16u);
    put(4, 0x3e5aa6eeu);
    put(8, (uint32_t)description_length);
    if (description_length >= 4) put(12, 0x61746164u);  // some description text
    if (description_length >= 0) {
        put(12LL + description_length, 0x5d69d7b8u);           // feature transformer hash
        put(21004816LL + description_length, 0x63337156u);     // network hash
    }
    close(fd);
}

}  // namespace corvix_test
