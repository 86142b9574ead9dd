// The system's side of console input, one implementation per system: a
// character reader with its own buffer and a test whether input is waiting.
// console.cpp builds the console functions the engine uses on top of it.
#pragma once

// Next character of standard input, blocking; -1 at the end of input.
int deviceGetChar();
// True when a deviceGetChar would return at once (a byte is buffered or
// readable); consumes nothing the reader would not return next.
bool deviceInputPending();
// True once standard input has reported its end and every buffered byte has
// been read.
bool deviceInputEnded();
