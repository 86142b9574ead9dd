// The console conversation: reading and normalising command lines, and
// handing each one to its handler.
#pragma once

// A command holds at most INPUT_BUFFER_SIZE - 1 characters, except a
// "position" command, which holds the moves of a whole game and may have up
// to POSITION_LINE_SIZE - 1.
constexpr int INPUT_BUFFER_SIZE = 8192;
constexpr int POSITION_LINE_SIZE = 1 << 20;

// The current command, normalised and zero-terminated.
extern char input_buffer[POSITION_LINE_SIZE];

// Reads one line from standard input into input_buffer: leading blanks
// dropped, every run of spaces and tabs stored as one space, no trailing
// blank, the carriage return of a CR LF ending dropped. A line longer than
// 8191 characters is cut there (with a warning) and the rest of it skipped,
// unless it begins with "position ": such a line is read whole, and one too
// long even for that is refused with an "info string" (the command is then
// empty), since a game cut short would be the wrong position.
// Returns false when the input had already ended before the line began.
bool readCommand();

// Runs the handler of the command in input_buffer, or prints
// "Unknown command : '...'" when none matches.
void dispatchCommand();

// Prints "Unknown command : '...'" for the command in input_buffer (control
// characters shown as '?').
void printUnknownCommand();

// Reads and dispatches commands until "quit" or the end of input; never returns.
[[noreturn]] void commandLoop();
