// Console input: a character reader with its own buffer, a test whether
// input is waiting (buffered here or readable from the descriptor) that
// consumes nothing the command loop would not read next, and a look at the
// next whole line without taking it (for commands that a running search
// answers itself).
#pragma once

#include <cstddef>

// Next character of standard input, or -1 at the end of input.
int consoleGetChar();
// True when at least one byte of input is waiting to be read.
bool consoleInputPending();
// True once standard input has reported its end and every buffered byte has
// been read.
bool consoleInputEnded();
// Switches standard output to unbuffered mode.
void consoleInit();

enum class PeekedLine {
    NONE,   // no whole line is waiting (nothing, or only the start of one)
    LINE,   // the next line is in the caller's buffer
    LONG,   // a line is waiting that is longer than the look-ahead
    ENDED,  // the input has ended and nothing is left
};
// Copies the next line of input (without its line feed; a line cut short by
// the end of input counts as whole) into line, which holds size bytes, and
// leaves it to be read. With wait set, blocks until a line or the end of
// input arrives; otherwise it reads only what is already waiting.
PeekedLine consolePeekLine(char *line, size_t size, bool wait);
// Takes the line last returned by consolePeekLine out of the input.
void consoleDropLine();
