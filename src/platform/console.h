// Console input: a character reader with its own buffer, and a test whether
// input is waiting (buffered here or readable from the descriptor) that
// consumes nothing the command loop would not read next.
#pragma once

// Next character of standard input, or -1 at the end of input.
int consoleGetChar();
// True when at least one byte of input is waiting to be read.
bool consoleInputPending();
// True once standard input has reported its end and every buffered byte has
// been read.
bool consoleInputEnded();
// Switches standard output to unbuffered mode.
void consoleInit();
