// The engine's own board code, in the test process, as a referee: it sets up
// the positions that "position" commands describe, exactly as the engine
// takes or refuses them, and tells whether an answer is a legal move there.
#pragma once

#include <string>

namespace corvix_test {

// Builds the board tables once and sets up the start position.
void initRefereeBoard();
// The start position ("ucinewgame").
void refereeNewGame();
// Applies a normalised "position ..." command (one that holds "position
// startpos" or "position fen "); false when the engine refuses it, in which
// case the position stays as it was. Prints nothing.
bool refereePosition(const std::string &command);
// Whether the UCI move text is a legal move in the referee's position; a
// text "MOVE ponder REPLY" needs the reply to be legal after the move too.
bool refereeLegal(const std::string &move_text);
// Whether the referee's position has any legal move.
bool refereeHasMoves();
// The FEN of the referee's position.
std::string refereeFen();

}  // namespace corvix_test
