// The console conversation: reading and normalising command lines, and
// handing each one to its handler.
#pragma once

constexpr int INPUT_BUFFER_SIZE = 8192;

// The current command, normalised and zero-terminated (at most 8191 characters).
extern char input_buffer[INPUT_BUFFER_SIZE];

// Reads one line from standard input into input_buffer: leading blanks
// dropped, every run of spaces and tabs stored as one space, no trailing
// blank, the carriage return of a CR LF ending dropped. A line longer than
// 8191 characters is cut there (with a warning) and the rest of it skipped.
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
