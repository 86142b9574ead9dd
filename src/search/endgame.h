// Endgame knowledge of the search: bare kings, three-piece endings by rule
// (with the KPK bitbase), and WDL probes of the Syzygy tables; the tables'
// answer at the root.
#pragma once

#include "board/types.h"
#include "tablebase/tbchess.h"

// Centralisation bonus of a king by square: 0 on the edge, 2, 5, then 6 on
// the four centre squares.
extern const i8 king_centrality[64];

// Material values used by the endgame scores.
constexpr int ENDGAME_VALUE[7] = {0, 100, 300, 300, 500, 900, 0};

// Score of curr_ply from the side to move's view when the position is one
// the endgame knowledge decides: returns 1 and sets *score, or returns 0
// (score unused). Reads the pieces, halfmove, castling and ep of curr_ply.
int probeEndgame(int *score);

// curr_ply as a tablebase position (half-move clock capped at 255).
void currentTbPosition(TbPosition *pos);

// The tables' answer at the root. curr_ply must hold its generated legal
// moves (updateAttacks and generateMoves with GEN_ALL). When the position
// has 3 to max_tb_pieces pieces, no castling right, and the tables answer
// with a move of that list: returns true, the move (as listed) in *move and
// the score in *score: loss d - 10000, blessed loss d - 5000, draw 0,
// cursed win 5000 - d, win 10000 - d, with d the absolute DTZ.
bool probeRootTablebase(Move *move, int *score);
