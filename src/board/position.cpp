#include "board/position.h"

#include <cstring>

const char *const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

ColourInfo colour_info[2];
CORVIX_THREAD_STATE_STORAGE(BoardState, boardState)

namespace {
// The command loop's position starts at the bottom of its stack.
const bool main_board_ready = (boardStateAtStartUp()->current = boardStateAtStartUp()->stack, true);
}  // namespace

u64 castlingKey(u64 castling) {
    u64 key = 0;
    if ((castling & bit(E1)) && (castling & bit(H1))) key ^= KEY_TABLE[KEY_CASTLE_WK];
    if ((castling & bit(E1)) && (castling & bit(A1))) key ^= KEY_TABLE[KEY_CASTLE_WQ];
    if ((castling & bit(E8)) && (castling & bit(H8))) key ^= KEY_TABLE[KEY_CASTLE_BK];
    if ((castling & bit(E8)) && (castling & bit(A8))) key ^= KEY_TABLE[KEY_CASTLE_BQ];
    return key;
}

bool canCastle(u64 castling) {
    return ((castling & bit(E1)) && (castling & (bit(A1) | bit(H1)))) ||
           ((castling & bit(E8)) && (castling & (bit(A8) | bit(H8))));
}

void initPosition() {
    colour_info[WHITE].far_half = 0xffffffff00000000ULL;
    colour_info[WHITE].colour = WHITE;
    colour_info[BLACK].far_half = 0x00000000ffffffffULL;
    colour_info[BLACK].colour = BLACK;
    for (int t = 0; t < 7; t++) {
        colour_info[WHITE].key_base[t] = t ? (u32)(128 * (t - 1) + 64) : 0;
        colour_info[BLACK].key_base[t] = t ? (u32)(128 * (t - 1)) : 0;
    }
}

u64 computeKey(const Ply *ply) {
    u64 key = 0;
    for (int c = BLACK; c <= WHITE; c++)
        for (int t = PAWN; t <= KING; t++) {
            u64 b = ply->side[c].pieces[t];
            while (b) key ^= KEY_TABLE[colour_info[c].key_base[t] + popLsb(b)];
        }
    key ^= castlingKey(ply->castling);
    if (ply->ep) key ^= KEY_TABLE[KEY_EP_FILE + fileOf(lsb(ply->ep))];
    if (ply->us == &ply->side[WHITE]) key ^= KEY_TABLE[KEY_WHITE_TO_MOVE];
    return key;
}

void linkPly(Ply *ply, int colour_to_move) {
    for (int c = BLACK; c <= WHITE; c++) {
        ply->side[c].info = &colour_info[c];
        ply->side[c].attacks = ply->attack[c];
    }
    ply->us = &ply->side[colour_to_move];
    ply->them = &ply->side[colour_to_move ^ 1];
}

int compactHistory(int keep_free) {
    if (ply_count < PLY_STACK_SIZE - keep_free) return 0;
    // The repetition test never walks past the last capture or pawn move, and
    // a position with a half-move clock above 99 is drawn anyway.
    int keep = curr_ply->halfmove < 100 ? curr_ply->halfmove : 100;
    if (keep > ply_count) keep = ply_count;
    int drop = ply_count - keep;
    if (drop <= 0) return 0;
    for (int i = 0; i <= keep; i++) {
        Ply *dst = &plies[i];
        std::memcpy(dst, &plies[i + drop], sizeof(Ply));
        linkPly(dst, dst->us == &plies[i + drop].side[WHITE] ? WHITE : BLACK);
    }
    ply_count = keep;
    ply_offset += drop;
    curr_ply = &plies[ply_count];
    return drop;
}

void copyPositionTo(BoardState *board) {
    // The repetition test stops at the last capture or pawn move, as in
    // compactHistory.
    int keep = curr_ply->halfmove < 100 ? curr_ply->halfmove : 100;
    const int top = (int)(curr_ply - plies);
    if (keep > top) keep = top;
    const int first = top - keep;
    for (int i = 0; i <= keep; i++) {
        const Ply *src = &plies[first + i];
        Ply *dst = &board->stack[i];
        std::memcpy(dst, src, sizeof(Ply));
        linkPly(dst, src->us == &src->side[WHITE] ? WHITE : BLACK);
    }
    board->count = keep;
    board->offset = 0;
    board->current = &board->stack[keep];
}
