// Handlers of the protocol commands. Each reads its command from input_buffer.
#pragma once

extern const char *const ENGINE_NAME;

void uciCommand();
void isReadyCommand();
void newGameCommand();
void positionCommand();
void goCommand();
void stopCommand();
// Releases what the engine holds and ends the program with status 0.
[[noreturn]] void quitCommand();
