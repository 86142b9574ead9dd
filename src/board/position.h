// The ply stack, the current position and the position key.
#pragma once

#include "board/types.h"
#include "platform/thread_slot.h"

constexpr int KEY_CASTLE_WK = 768;  // white king side
constexpr int KEY_CASTLE_WQ = 769;  // white queen side
constexpr int KEY_CASTLE_BK = 770;  // black king side
constexpr int KEY_CASTLE_BQ = 771;  // black queen side
constexpr int KEY_EP_FILE = 772;    // + file of the en passant square
constexpr int KEY_WHITE_TO_MOVE = 780;

extern const u64 KEY_TABLE[781];

// Squares whose king or rook carry castling rights.
constexpr u64 CASTLING_SQUARES = (1ULL << A1) | (1ULL << E1) | (1ULL << H1) |
                                 (1ULL << A8) | (1ULL << E8) | (1ULL << H8);

extern const char *const START_FEN;

extern ColourInfo colour_info[2];   // [BLACK], [WHITE]

// The ply stack and the current position of one thread. Every thread that
// searches has its own; the board code reaches the calling thread's through
// the names below, which read like the globals they stand for (as errno
// does).
struct BoardState {
    Ply stack[PLY_STACK_SIZE];  // plies
    Ply *current;               // curr_ply
    i32 count;                  // ply_count: index of the current record
    // ply_offset: number of half-moves dropped from the bottom of the stack by
    // compactHistory since the position was set up (used to number moves in
    // the board display).
    i32 offset;
};

// boardState(): the calling thread's board.
CORVIX_THREAD_STATE(BoardState, boardState, THREAD_SLOT_BOARD)

#define plies (boardState()->stack)
#define curr_ply (boardState()->current)
#define ply_count (boardState()->count)
#define ply_offset (boardState()->offset)

// Key of the castling rights held in a set of castling squares.
u64 castlingKey(u64 castling);

// Whether either colour still has a usable castling right.
bool canCastle(u64 castling);

// Fills the ColourInfo records. Called once at start-up.
void initPosition();

// Position key computed from nothing but the pieces, the castling set, the en
// passant square and the side to move of a record (used to check the
// incremental key).
u64 computeKey(const Ply *ply);

// Points the us/them/attacks/info pointers of a record at the record itself,
// with the given colour to move. Needed whenever a record is copied to
// another slot of the stack.
void linkPly(Ply *ply, int colour_to_move);

// Drops old records from the bottom of the stack when a long game would leave
// too little room for the search, keeping every record that the repetition
// test can still reach (those since the last capture or pawn move).
// Returns the number of records dropped.
int compactHistory(int keep_free);

// The search may write this many records above the root.
constexpr int SEARCH_STACK_RESERVE = 66;
// Highest index the root of a search may stand at.
constexpr int MAX_ROOT_PLY = PLY_STACK_SIZE - SEARCH_STACK_RESERVE;

// Sets up the calling thread's position in another board: the current
// record and the records before it that the repetition test can reach, with
// the current one on top. The other board must not be in use meanwhile.
void copyPositionTo(BoardState *board);
