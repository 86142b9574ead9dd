// Text that came from input (a command line, a FEN, a move, an option value,
// a file name or a line of a file) quoted back in output. Control characters
// are shown as '?', so that echoed input can neither end a line early (a
// carriage return that a GUI reads as a line break, followed by a forged
// "bestmove") nor send escape sequences to a terminal.
#pragma once

#include <cstddef>

// Whether a byte is shown as '?': the ASCII control characters 0-31 and 127.
// Bytes from 128 up are left alone, so UTF-8 text stays readable.
inline bool isControlCharacter(unsigned char c) { return c < 32 || c == 127; }

// Copies the first len bytes of text into out (size bytes of room, at least
// one), cut to size - 1 bytes and zero-terminated, with control characters
// replaced by '?'. Returns out.
char *printableCopy(char *out, size_t size, const char *text, size_t len);

// Writes the first len bytes of text to standard output, control characters
// replaced by '?'.
void printPrintable(const char *text, size_t len);
