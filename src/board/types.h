// Basic vocabulary of the engine: squares, bitboards, colours, pieces, the move
// word and the per-ply position record.
#pragma once

#include <cstdint>

typedef uint64_t u64;
typedef uint32_t u32;
typedef uint16_t u16;
typedef uint8_t u8;
typedef int64_t i64;
typedef int32_t i32;
typedef int16_t i16;
typedef int8_t i8;

// ---------------------------------------------------------------------------
// Squares: square = rank * 8 + file, a1 = 0, h1 = 7, a8 = 56, h8 = 63.
// A bitboard has bit n set for square n.
// ---------------------------------------------------------------------------
enum : int {
    A1, B1, C1, D1, E1, F1, G1, H1,
    A2, B2, C2, D2, E2, F2, G2, H2,
    A3, B3, C3, D3, E3, F3, G3, H3,
    A4, B4, C4, D4, E4, F4, G4, H4,
    A5, B5, C5, D5, E5, F5, G5, H5,
    A6, B6, C6, D6, E6, F6, G6, H6,
    A7, B7, C7, D7, E7, F7, G7, H7,
    A8, B8, C8, D8, E8, F8, G8, H8
};

inline int fileOf(int sq) { return sq & 7; }
inline int rankOf(int sq) { return sq >> 3; }
inline u64 bit(int sq) { return 1ULL << sq; }

constexpr u64 FILE_A_BB = 0x0101010101010101ULL;
constexpr u64 FILE_H_BB = 0x8080808080808080ULL;
constexpr u64 RANK_1_BB = 0x00000000000000ffULL;
constexpr u64 RANK_8_BB = 0xff00000000000000ULL;

// Population count: the processor instruction where the build has it, the
// classic parallel bit count in the SSE2-only build.
inline int popCount(u64 b) {
#if defined(CORVIX_ISA_SSE2)
    b = b - ((b >> 1) & 0x5555555555555555ULL);
    b = (b & 0x3333333333333333ULL) + ((b >> 2) & 0x3333333333333333ULL);
    b = (b + (b >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return (int)((b * 0x0101010101010101ULL) >> 56);
#else
    return __builtin_popcountll(b);
#endif
}

// Lowest set square of a non-empty set.
inline int lsb(u64 b) { return __builtin_ctzll(b); }
// Removes the lowest set square and returns it.
inline int popLsb(u64 &b) {
    int sq = __builtin_ctzll(b);
    b &= b - 1;
    return sq;
}

// ---------------------------------------------------------------------------
// Colours and piece types.
// ---------------------------------------------------------------------------
enum : int { BLACK = 0, WHITE = 1 };
enum : int { NO_PIECE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };

// ---------------------------------------------------------------------------
// The move word.
//   bits 0-5 to, 6-11 from, 12-14 moved (7 - type), 16 advance, 17 escape,
//   18 check, 19 discovered check, 20-22 captured type, 24-26 promotion type,
//   28 hash move.
// ---------------------------------------------------------------------------
typedef u32 Move;

constexpr u32 FLAG_ADVANCE = 1u << 16;
constexpr u32 FLAG_ESCAPE = 1u << 17;
constexpr u32 FLAG_CHECK = 1u << 18;
constexpr u32 FLAG_DISCOVERED = 1u << 19;
constexpr u32 FLAG_HASH = 1u << 28;
constexpr u32 CHECK_BITS = FLAG_CHECK | FLAG_DISCOVERED;
constexpr u32 ORDER_MASK = 0x1fff0000u;
constexpr u32 MOVE_SHIFT_FROM = 6;
constexpr u32 MOVE_SHIFT_MOVED = 12;
constexpr u32 MOVE_SHIFT_CAPTURED = 20;
constexpr u32 MOVE_SHIFT_PROMOTION = 24;

inline int moveTo(Move m) { return (int)(m & 63); }
inline int moveFrom(Move m) { return (int)((m >> MOVE_SHIFT_FROM) & 63); }
inline int moveMoved(Move m) { return (int)((m >> MOVE_SHIFT_MOVED) & 7); }     // 7 - type
inline int movePiece(Move m) { return 7 - moveMoved(m); }                       // type of the mover
inline int moveCaptured(Move m) { return (int)((m >> MOVE_SHIFT_CAPTURED) & 7); }
inline int movePromotion(Move m) { return (int)((m >> MOVE_SHIFT_PROMOTION) & 7); }

// Builds a move word without flags; type is the moving piece's type.
inline Move buildMove(int from, int to, int type, int captured = 0, int promotion = 0) {
    return (Move)to | ((Move)from << MOVE_SHIFT_FROM) | ((Move)(7 - type) << MOVE_SHIFT_MOVED) |
           ((Move)captured << MOVE_SHIFT_CAPTURED) | ((Move)promotion << MOVE_SHIFT_PROMOTION);
}

// ---------------------------------------------------------------------------
// Per-colour constants.
// ---------------------------------------------------------------------------
struct ColourInfo {
    u64 far_half;      // ranks 5-8 for white, 1-4 for black
    i32 colour;        // WHITE or BLACK
    u32 key_base[7];   // index into KEY_TABLE of a piece of type t on a1 (t = 1..6)
};

// Attack information of one colour X (18 bitboards).
enum : int {
    ATK_ALL = 0,          // everything X attacks
    // 1..6: attacks by X's pawns, knights, bishops, rooks, queens, king
    ATK_CHECK_SQ = 7,     // union of 8..13
    // 8..13: squares from which an enemy piece of type 1..6 would attack X's king
    ATK_CHECKERS = 14,    // enemy pieces attacking X's king
    ATK_PINNED = 15,      // X's pieces pinned against X's king
    ATK_DISCOVERERS = 16, // X's pieces that uncover a check on the enemy king when they leave the line
    ATK_EVASION = 17,     // legal destinations for non-king moves when in single check
    ATK_COUNT = 18
};
typedef u64 AttackInfo[ATK_COUNT];

struct Side {
    i32 king_sq;
    const ColourInfo *info;
    u64 *attacks;      // points at the AttackInfo of this colour inside the same Ply
    u64 pieces[7];     // [0] all pieces of the colour, [1..6] by type
    u64 passed;        // passed pawns
};

constexpr int MAX_MOVES = 372;
constexpr int ACC_SIZE = 256;
constexpr int PLY_STACK_SIZE = 1024;

struct Ply {
    Side side[2];      // side[BLACK], side[WHITE]
    u64 key;
    u64 castling;      // subset of {a1, e1, h1, a8, e8, h8}
    Side *us;          // side to move
    Side *them;
    AttackInfo attack[2];
    u64 occupancy;
    u64 ep;            // en passant target square as a set, 0 if none
    u64 slider_attacks[64];
    i32 halfmove;
    i32 pawn_ending;
    Move move;         // move played from this ply (0 for a null move)
    i32 generated;
    i32 rank_flip;     // 0 with white to move, 0xe38 with black
    // Whether accumulator holds the sums of this position: makeMove and
    // loadFen clear it, the evaluation computes the sums when it first needs
    // them (eval/accumulator.h).
    i32 accumulator_ready;
    Move moves[MAX_MOVES];
    // The network's first-layer sums of this position, white's row first:
    // 32-bit values, or 16-bit ones packed at the start when the network
    // allows it (eval/accumulator.h says which).
    union {
        alignas(64) i32 accumulator[2][ACC_SIZE];
        i16 accumulator16[2][ACC_SIZE];
    };
};

// Move generation modes.
enum : int { GEN_ALL = 0, GEN_NOISY = 1, GEN_CAPTURES = 2 };
