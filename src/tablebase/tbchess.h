// The tablebase code's own chess rules: its position record, its move word,
// attack tables, move generation, making moves and check tests. Independent
// of the board code, so that the tables can be probed from any position.
#pragma once

#include <cstdint>

struct TbPosition {
    uint64_t white, black;                                    // squares of each colour
    uint64_t kings, queens, rooks, bishops, knights, pawns;   // both colours
    uint8_t halfmove;                                         // since the last capture or pawn move
    uint8_t ep;                                               // en passant target square, 0 when none
    uint8_t turn;                                             // 1 white to move, 0 black
};

// to-square in bits 0-5, from-square in bits 6-11, promotion in bits 12-14
// (0 none, 1 queen, 2 rook, 3 bishop, 4 knight).
typedef uint16_t TbMove;

enum : int { TB_PROMOTE_NONE = 0, TB_PROMOTE_QUEEN = 1, TB_PROMOTE_ROOK = 2, TB_PROMOTE_BISHOP = 3, TB_PROMOTE_KNIGHT = 4 };

inline int tbMoveTo(TbMove m) { return m & 63; }
inline int tbMoveFrom(TbMove m) { return (m >> 6) & 63; }
inline int tbMovePromotion(TbMove m) { return (m >> 12) & 7; }
inline TbMove tbBuildMove(int from, int to, int promotion = 0) {
    return (TbMove)(to | (from << 6) | (promotion << 12));
}

// Room for every pseudo-legal move of a position with at most 7 pieces
// (and far more: 5 queens would not fill it).
constexpr int TB_MAX_MOVES = 256;
constexpr int TB_MAX_CAPTURES = 64;

// Fills the attack tables (idempotent).
void initTbChess();

uint64_t tbKingAttacks(int sq);
uint64_t tbKnightAttacks(int sq);
uint64_t tbPawnAttacks(int colour, int sq);   // colour 1 white, 0 black
uint64_t tbRookAttacks(int sq, uint64_t occupancy);
uint64_t tbBishopAttacks(int sq, uint64_t occupancy);
uint64_t tbQueenAttacks(int sq, uint64_t occupancy);

// Pieces of the side to move / the other side.
inline uint64_t tbUs(const TbPosition *pos) { return pos->turn ? pos->white : pos->black; }
inline uint64_t tbThem(const TbPosition *pos) { return pos->turn ? pos->black : pos->white; }

// Pseudo-legal moves in the fixed generation order; append to list and return
// the end of the list.
TbMove *tbGenerateMoves(const TbPosition *pos, TbMove *list);
TbMove *tbGenerateCaptures(const TbPosition *pos, TbMove *list);

// Plays move on pos into *next; returns whether the result is legal.
bool tbMakeMove(TbPosition *next, const TbPosition *pos, TbMove move);

// The side to move is in check.
bool tbInCheck(const TbPosition *pos);
// The side not to move has a king that the side to move does not attack and
// that does not stand next to the other king.
bool tbIsLegal(const TbPosition *pos);

// Whether the move takes an enemy piece on its to-square, or is an en
// passant capture.
bool tbIsCapture(const TbPosition *pos, TbMove move);
bool tbIsEnPassant(const TbPosition *pos, TbMove move);
// The side to move has no legal move.
bool tbHasNoLegalMove(const TbPosition *pos);
// Checkmate: in check with no legal move.
bool tbIsMate(const TbPosition *pos);
