#include "board/fen.h"

// Placeholder until the board text functions are written.
void displayBoard() {}
