// King and pawn against king: a bitbase of the drawn positions.
#pragma once

#include "board/types.h"

constexpr int KPK_POSITIONS = 196608;   // 64 x 64 x 2 x 24
constexpr int KPK_WORDS = KPK_POSITIONS / 64;

// Bit n (bit n mod 64 of word n / 64) is 1 when the position with index n is
// a draw, 0 for a win of the pawn's side or an impossible position.
extern const u64 kpk_bitbase[KPK_WORDS];

// Fills out with the bitbase by retrograde analysis (the rule the stored
// table was made with).
void buildKpkBitbase(u64 *out);

// Index of a position given from white's side: white (the strong side) has
// the king on strong_king and the pawn on pawn, on files a-d, ranks 2-7.
inline int kpkIndex(int strong_king, int weak_king, int pawn, bool strong_to_move) {
    return strong_king | (weak_king << 6) | ((strong_to_move ? 1 : 0) << 12) |
           (((6 - rankOf(pawn)) * 4 + fileOf(pawn)) << 13);
}

// Whether a king and pawn against king position is a draw. strong_colour owns
// the pawn; the squares are the real ones (normalised here).
bool kpkIsDraw(int strong_king, int weak_king, int pawn, int strong_colour, bool strong_to_move);
