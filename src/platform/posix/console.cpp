// Console input through a buffer of our own on descriptor 0.
//
// The command loop reads one character at a time and blocks; the search asks
// from time to time whether anything is waiting. Both go through the same
// buffer, so that bytes read ahead by the pending-input test (a GUI often
// writes "stop" and "isready" in one burst) are handed to the command loop in
// order, and the end of input is told apart from data.
#include "platform/console.h"
#include "platform/console_device.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int INPUT_FD = 0;
constexpr size_t CONSOLE_BUFFER_SIZE = 1 << 16;

unsigned char console_buffer[CONSOLE_BUFFER_SIZE];
size_t buffer_start = 0;  // next unread byte
size_t buffer_end = 0;    // one past the last byte read
bool input_closed = false;  // read() reported the end of input (or a fault)

bool bufferEmpty() { return buffer_start == buffer_end; }

// Reads whatever the descriptor offers into the (empty) buffer. With wait set
// it blocks until data or the end of input arrives; otherwise it returns at
// once when nothing is ready. Returns true when bytes were added.
bool fillBuffer(bool wait) {
    if (input_closed) return false;
    buffer_start = buffer_end = 0;
    for (;;) {
        ssize_t n = read(INPUT_FD, console_buffer, CONSOLE_BUFFER_SIZE);
        if (n > 0) {
            buffer_end = (size_t)n;
            return true;
        }
        if (n == 0) {
            input_closed = true;
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A descriptor inherited in non-blocking mode.
            if (!wait) return false;
            struct pollfd p = {INPUT_FD, POLLIN, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR) {
                input_closed = true;
                return false;
            }
            continue;
        }
        // EBADF, EIO and the like: nothing more will come.
        input_closed = true;
        return false;
    }
}

// Makes sure descriptors 0, 1 and 2 are open, so that no file the engine opens
// later (the network file, the log file) takes one of their numbers. A closed
// standard input then reads as empty, a closed output discards.
void reserveStandardDescriptor(int fd, int flags) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
    int null_fd = open("/dev/null", flags);
    if (null_fd < 0) return;
    if (null_fd != fd) {
        dup2(null_fd, fd);
        close(null_fd);
    }
    if (fd == INPUT_FD) input_closed = true;
}

}  // namespace

void consoleInit() {
    reserveStandardDescriptor(0, O_RDONLY);
    reserveStandardDescriptor(1, O_WRONLY);
    reserveStandardDescriptor(2, O_WRONLY);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

int deviceGetChar() {
    if (bufferEmpty() && !fillBuffer(true)) return -1;
    return console_buffer[buffer_start++];
}

bool deviceInputPending() {
    if (!bufferEmpty()) return true;
    if (input_closed) return false;
    struct pollfd p = {INPUT_FD, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return false;
    if (ready == 0) return false;
    if (p.revents & POLLNVAL) {
        input_closed = true;
        return false;
    }
    // Readable, hung up or in error: a read tells data from the end of input
    // and does not block here.
    return fillBuffer(false);
}

bool deviceInputEnded() { return input_closed && bufferEmpty(); }
