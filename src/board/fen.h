// FEN set-up, UCI move lists and move/board text.
#pragma once

#include "board/types.h"

// Sets up plies[0] from a FEN (at most six fields are read; the rest of the
// text is ignored, and a field "moves" ends the FEN, so that a four-field FEN
// may be followed by a move list). The half-move clock and full-move number
// may be left out together. On malformed or impossible input prints one
// "info string ..." line, changes nothing and returns false. Castling rights
// whose king or rook is not on its square, and an en passant square that no
// double push explains, are dropped.
bool loadFen(const char *text);

// Plays the space-separated UCI moves of text from curr_ply. Every move is
// checked against the legal moves of its position; on the first bad move
// prints one "info string ..." line and returns false (the moves before it
// have been played; callers restore the position they want). Long games are
// compacted (compactHistory) so that the search always finds room above the
// current record.
bool playMoves(const char *text);

// Parses one UCI move ("e2e4", "e7e8q") against the legal moves of curr_ply
// (updateAttacks and generateMoves run inside, replacing its move list).
// Returns the move word with to, from, moved, captured and promotion and no
// flags, or 0 when the text is not a legal move here.
Move parseMove(const char *text);

// Prints a move in the engine's long notation; returns the number of characters.
int printMove(Move move);
// Writes the UCI text of a move ("e2e4", "e7e8q", "0000" for 0) into buf
// (at least 6 bytes); returns buf.
char *moveText(Move move, char *buf);
// Prints the board display of curr_ply.
void displayBoard();
// Writes the FEN of curr_ply into buf (at least 128 bytes); returns buf. The
// full-move number counts the moves played since the position was set up.
char *positionFen(char *buf);
