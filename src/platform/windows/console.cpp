// Console input through a buffer of our own on the standard input handle.
//
// As on other systems, the command loop reads one character at a time and
// blocks, and the search asks from time to time whether anything is waiting;
// bytes that the pending-input test reads ahead are handed to the command
// loop in order, and the end of input is told apart from data.
//
// How the pending-input test looks at the handle depends on what it is:
// - a pipe (how a GUI starts an engine): PeekNamedPipe;
// - a console window: its input events, where only an Enter key makes a line
//   that a read would return (typing alone is not input yet);
// - a file or the NUL device: reading never blocks, so the test reads ahead
//   into the buffer.
// When none of these can answer (a pipe that does not support peeking, which
// is what a program under Wine gets from a Linux parent, or a kind of handle
// unknown here), a reader thread takes over: it reads the handle with
// blocking reads into a queue of its own, and the command loop and the test
// both look at that queue. A failed test therefore never reads as "nothing
// pending" for ever, and a "go infinite" can still be stopped.
//
// Standard output and standard error are switched to binary mode: a line
// ends with a line feed alone, as on other systems (consoles and GUIs accept
// it), so the engine's output is the same bytes everywhere.
#include "platform/console.h"
#include "platform/console_device.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD CONSOLE_BUFFER_SIZE = 1 << 16;

enum InputKind {
    INPUT_NONE,     // no standard input at all
    INPUT_PIPE,     // a pipe that PeekNamedPipe can look into
    INPUT_CONSOLE,  // a console window
    INPUT_FILE,     // a disk file, the NUL device: reads never block
    INPUT_READER,   // read by the reader thread
};

HANDLE input_handle = nullptr;
InputKind input_kind = INPUT_NONE;

unsigned char console_buffer[CONSOLE_BUFFER_SIZE];
size_t buffer_start = 0;    // next unread byte
size_t buffer_end = 0;      // one past the last byte read
bool input_closed = false;  // the end of input (or a fault) was seen

bool bufferEmpty() { return buffer_start == buffer_end; }

// Bytes asked for by one read. Reads of a console handle are kept short:
// older consoles refuse large ones.
DWORD readSize() { return GetFileType(input_handle) == FILE_TYPE_CHAR ? 4096 : CONSOLE_BUFFER_SIZE; }

// ---------------------------------------------------------------------------
// The reader thread and its queue. The queue is allocated once and never
// freed: the thread may still be blocked in ReadFile while the program ends.

constexpr size_t QUEUE_SIZE = 1 << 20;

SRWLOCK queue_lock = SRWLOCK_INIT;
CONDITION_VARIABLE queue_changed = CONDITION_VARIABLE_INIT;
unsigned char *queue = nullptr;  // ring buffer of QUEUE_SIZE bytes
size_t queue_head = 0;           // oldest byte
size_t queue_count = 0;
bool queue_ended = false;        // the thread saw the end of input

DWORD WINAPI readerThread(void *) {
    unsigned char *chunk = new unsigned char[CONSOLE_BUFFER_SIZE];
    for (;;) {
        DWORD n = 0;
        BOOL ok = ReadFile(input_handle, chunk, readSize(), &n, nullptr);
        AcquireSRWLockExclusive(&queue_lock);
        if (!ok || n == 0) {
            // Without a way to look into the handle, a read of nothing cannot
            // be told from the end of input: both end it.
            queue_ended = true;
            WakeAllConditionVariable(&queue_changed);
            ReleaseSRWLockExclusive(&queue_lock);
            return 0;
        }
        for (DWORD done = 0; done < n;) {
            while (queue_count == QUEUE_SIZE) SleepConditionVariableSRW(&queue_changed, &queue_lock, INFINITE, 0);
            size_t tail = (queue_head + queue_count) % QUEUE_SIZE;
            size_t room = QUEUE_SIZE - queue_count;
            if (room > QUEUE_SIZE - tail) room = QUEUE_SIZE - tail;
            size_t take = n - done < room ? n - done : room;
            std::memcpy(queue + tail, chunk + done, take);
            queue_count += take;
            done += (DWORD)take;
            WakeAllConditionVariable(&queue_changed);
        }
        ReleaseSRWLockExclusive(&queue_lock);
    }
}

// Hands reading over to the reader thread. Called only while the command
// loop is not inside a read, so that no two reads of the handle overlap.
void startReader() {
    if (input_kind == INPUT_READER) return;
    queue = new unsigned char[QUEUE_SIZE];
    input_kind = INPUT_READER;
    HANDLE thread = CreateThread(nullptr, 0, readerThread, nullptr, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
    } else {
        // Nothing can read the input any more: it has ended.
        queue_ended = true;
    }
}

// Moves queued bytes into the (empty) buffer; with wait set it blocks until
// there are some or the input has ended. True when bytes were added.
bool takeFromQueue(bool wait) {
    AcquireSRWLockExclusive(&queue_lock);
    while (wait && queue_count == 0 && !queue_ended) SleepConditionVariableSRW(&queue_changed, &queue_lock, INFINITE, 0);
    bool got = queue_count > 0;
    if (got) {
        size_t take = queue_count < CONSOLE_BUFFER_SIZE ? queue_count : CONSOLE_BUFFER_SIZE;
        if (take > QUEUE_SIZE - queue_head) take = QUEUE_SIZE - queue_head;
        std::memcpy(console_buffer, queue + queue_head, take);
        buffer_start = 0;
        buffer_end = take;
        queue_head = (queue_head + take) % QUEUE_SIZE;
        queue_count -= take;
        WakeAllConditionVariable(&queue_changed);
    } else if (queue_ended) {
        input_closed = true;
    }
    ReleaseSRWLockExclusive(&queue_lock);
    return got;
}

// ---------------------------------------------------------------------------
// Direct reads.

// PeekNamedPipe on a pipe: 1 when bytes are waiting, 0 when none are, -1
// when the writer has gone and nothing is left, -2 when the pipe cannot be
// looked into.
int peekPipe() {
    DWORD available = 0;
    if (PeekNamedPipe(input_handle, nullptr, 0, nullptr, &available, nullptr)) return available > 0 ? 1 : 0;
    return GetLastError() == ERROR_BROKEN_PIPE ? -1 : -2;
}

// Reads what the handle offers into the (empty) buffer, blocking until data
// or the end of input arrives. Returns true when bytes were added.
bool readDirect() {
    for (;;) {
        DWORD n = 0;
        BOOL ok = ReadFile(input_handle, console_buffer, readSize(), &n, nullptr);
        if (ok && n > 0) {
            buffer_start = 0;
            buffer_end = n;
            return true;
        }
        // A pipe whose writer is still there delivers nothing only for a
        // write of nothing: read on. Everything else ends the input (a
        // broken pipe, the end of a file, Ctrl+Z in a console, a fault).
        if (ok && input_kind == INPUT_PIPE && peekPipe() >= 0) continue;
        input_closed = true;
        return false;
    }
}

bool fillBuffer() {
    if (input_closed) return false;
    buffer_start = buffer_end = 0;
    if (input_kind == INPUT_READER) return takeFromQueue(true);
    return readDirect();
}

// Whether the console holds a complete line: in line mode a read returns
// only once Enter was pressed, so only that key counts; with line input
// switched off any key that gives a character does. -1 when the console
// cannot be asked.
int consoleLinePending() {
    static std::vector<INPUT_RECORD> records;
    DWORD count = 0, mode = 0;
    if (!GetNumberOfConsoleInputEvents(input_handle, &count) || !GetConsoleMode(input_handle, &mode)) return -1;
    if (count == 0) return 0;
    records.resize(count);
    DWORD got = 0;
    if (!PeekConsoleInputA(input_handle, records.data(), count, &got)) return -1;
    bool line_mode = (mode & ENABLE_LINE_INPUT) != 0;
    for (DWORD i = 0; i < got; i++) {
        const INPUT_RECORD &r = records[i];
        if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
        char c = r.Event.KeyEvent.uChar.AsciiChar;
        if (line_mode ? c == '\r' : c != 0) return 1;
    }
    return 0;
}

}  // namespace

void consoleInit() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    input_handle = GetStdHandle(STD_INPUT_HANDLE);
    if (input_handle == nullptr || input_handle == INVALID_HANDLE_VALUE) {
        input_kind = INPUT_NONE;
        input_closed = true;
        return;
    }
    DWORD type = GetFileType(input_handle), mode = 0;
    if (type == FILE_TYPE_CHAR && GetConsoleMode(input_handle, &mode)) {
        input_kind = INPUT_CONSOLE;
    } else if (type == FILE_TYPE_PIPE) {
        input_kind = INPUT_PIPE;
        if (peekPipe() == -2) startReader();
    } else if (type == FILE_TYPE_DISK || type == FILE_TYPE_CHAR) {
        input_kind = INPUT_FILE;
    } else {
        startReader();
    }
}

int deviceGetChar() {
    if (bufferEmpty() && !fillBuffer()) return -1;
    return console_buffer[buffer_start++];
}

bool deviceInputPending() {
    if (!bufferEmpty()) return true;
    if (input_closed) return false;
    switch (input_kind) {
    case INPUT_PIPE: {
        int state = peekPipe();
        if (state >= 0) return state == 1;
        if (state == -1) {
            input_closed = true;
            return false;
        }
        startReader();
        return takeFromQueue(false);
    }
    case INPUT_CONSOLE: {
        int state = consoleLinePending();
        if (state >= 0) return state == 1;
        startReader();
        return takeFromQueue(false);
    }
    case INPUT_FILE:
        buffer_start = buffer_end = 0;
        return readDirect();
    case INPUT_READER:
        return takeFromQueue(false);
    case INPUT_NONE:
        break;
    }
    return false;
}

bool deviceInputEnded() { return input_closed && bufferEmpty(); }
