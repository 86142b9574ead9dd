// Console input above the system's reader: a look-ahead buffer that can hold
// the next line while it is looked at, served first to every reader so the
// bytes keep their order.
#include "platform/console.h"

#include <cstring>

#include "platform/console_device.h"

namespace {

constexpr size_t LOOKAHEAD_SIZE = 8192;

char lookahead[LOOKAHEAD_SIZE];
size_t look_start = 0;   // next unread byte
size_t look_end = 0;     // one past the last byte taken from the device
size_t peeked_end = 0;   // one past the line (and its line feed) last peeked

bool lookaheadEmpty() { return look_start == look_end; }

// The index of the first line feed of the look-ahead, or look_end.
size_t lineEnd() {
    const void *nl = std::memchr(lookahead + look_start, '\n', look_end - look_start);
    return nl ? (size_t)((const char *)nl - lookahead) : look_end;
}

}  // namespace

int consoleGetChar() {
    if (!lookaheadEmpty()) return (unsigned char)lookahead[look_start++];
    return deviceGetChar();
}

bool consoleInputPending() { return !lookaheadEmpty() || deviceInputPending(); }

bool consoleInputEnded() { return lookaheadEmpty() && deviceInputEnded(); }

PeekedLine consolePeekLine(char *line, size_t size, bool wait) {
    if (look_start > 0) {
        std::memmove(lookahead, lookahead + look_start, look_end - look_start);
        look_end -= look_start;
        look_start = 0;
    }
    size_t end = lineEnd();
    bool ended = false;
    bool whole = end < look_end;
    while (!whole) {
        if (look_end == LOOKAHEAD_SIZE) return PeekedLine::LONG;
        if (!wait && !deviceInputPending()) {
            if (!deviceInputEnded()) return PeekedLine::NONE;
            ended = true;
            break;
        }
        int c = deviceGetChar();
        if (c < 0) {
            ended = true;
            break;
        }
        lookahead[look_end++] = (char)c;
        if (c == '\n') {
            end = look_end - 1;
            whole = true;
        }
    }
    if (!whole) end = look_end;
    if (ended && lookaheadEmpty()) return PeekedLine::ENDED;
    size_t len = end - look_start;
    if (len >= size) return PeekedLine::LONG;
    std::memcpy(line, lookahead + look_start, len);
    line[len] = '\0';
    peeked_end = end < look_end ? end + 1 : end;
    return PeekedLine::LINE;
}

void consoleDropLine() {
    if (peeked_end > look_start && peeked_end <= look_end) look_start = peeked_end;
    peeked_end = 0;
    if (lookaheadEmpty()) look_start = look_end = 0;
}
