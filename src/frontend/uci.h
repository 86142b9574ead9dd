// Handlers of the protocol commands. Each reads its command from input_buffer.
#pragma once

extern const char *const ENGINE_NAME;

void uciCommand();
void isReadyCommand();
void newGameCommand();
// "position startpos [moves ...]" or "position fen FEN [moves ...]". A FEN
// that is refused, or a move that is malformed or illegal, refuses the whole
// command (one "info string" line says why): the position before it stays.
void positionCommand();
// The same for a command given as text (normalised, containing "position
// startpos" or "position fen "); false when it was refused.
bool setPosition(const char *command);
void goCommand();
void stopCommand();
void ponderHitCommand();
// Releases what the engine holds and ends the program with status 0.
[[noreturn]] void quitCommand();
