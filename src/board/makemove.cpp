// Making and taking back moves. Copy-make: the piece part of the current
// record is copied into the next one and only the squares the move touches
// are changed; taking a move back is a step down the stack.
#include "board/makemove.h"

#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "board/assert.h"

namespace {

// Copies the piece part of a record (both sides, key, castling) into the next
// one and points the copied sides at the new record's attack blocks.
inline void copyPieces(Ply *to, const Ply *from) {
    std::memcpy(to->side, from->side, sizeof from->side);
    to->key = from->key;
    to->castling = from->castling;
    to->side[BLACK].attacks = to->attack[BLACK];
    to->side[WHITE].attacks = to->attack[WHITE];
}

inline bool pawnsAndKingOnly(const Side &s) { return s.pieces[0] == (s.pieces[PAWN] | s.pieces[KING]); }

}  // namespace

void updatePassed() {
    Ply *p = curr_ply;
    u64 white_pawns = p->side[WHITE].pieces[PAWN];
    u64 black_pawns = p->side[BLACK].pieces[PAWN];
    u64 passed = 0;
    for (u64 b = white_pawns; b;) {
        int sq = popLsb(b);
        if (!(passed_span[WHITE][sq] & black_pawns)) passed |= bit(sq);
    }
    p->side[WHITE].passed = passed;
    passed = 0;
    for (u64 b = black_pawns; b;) {
        int sq = popLsb(b);
        if (!(passed_span[BLACK][sq] & white_pawns)) passed |= bit(sq);
    }
    p->side[BLACK].passed = passed;
}

u64 keyAfter(Move move) {
    const Ply *p = curr_ply;
    const int from = moveFrom(move), to = moveTo(move);
    const int type = movePiece(move);
    const int captured = moveCaptured(move);
    const int promotion = movePromotion(move);
    const u32 *mover_base = p->us->info->key_base;

    u64 key = p->key ^ KEY_TABLE[mover_base[type] + from] ^ KEY_TABLE[mover_base[type] + to] ^
              KEY_TABLE[KEY_WHITE_TO_MOVE];
    if (p->ep) key ^= KEY_TABLE[KEY_EP_FILE + fileOf(lsb(p->ep))];
    int victim = to;
    if (type == PAWN) {
        if ((from ^ to) == 16) key ^= KEY_TABLE[KEY_EP_FILE + fileOf((from + to) >> 1)];
        else if (bit(to) == p->ep) victim = p->us->info->colour == WHITE ? to - 8 : to + 8;
    } else if (type == KING && (to == from + 2 || to == from - 2)) {
        const int rook_from = to == from + 2 ? from + 3 : from - 4;
        const int rook_to = to == from + 2 ? from + 1 : from - 1;
        key ^= KEY_TABLE[mover_base[ROOK] + rook_from] ^ KEY_TABLE[mover_base[ROOK] + rook_to];
    }
    if (captured) key ^= KEY_TABLE[p->them->info->key_base[captured] + victim];
    if (promotion) key ^= KEY_TABLE[mover_base[PAWN] + to] ^ KEY_TABLE[mover_base[promotion] + to];
    const u64 from_to = bit(from) | bit(to);
    if (p->castling & from_to) key ^= castlingKey(p->castling) ^ castlingKey(p->castling & ~from_to);
    return key;
}

void makeMove(Move move) { makeMove(move, keyAfter(move)); }

void makeMove(Move move, u64 key) {
    Ply *old = curr_ply;
    Ply *nw = old + 1;
    old->move = move;

    int captured = moveCaptured(move);
    ASSERT(captured < 6);

    int from = moveFrom(move), to = moveTo(move);
    int type = movePiece(move);
    int promotion = movePromotion(move);
    int colour = old->us->info->colour;

    copyPieces(nw, old);
    nw->key = key;
    Side *mover = &nw->side[colour];
    Side *other = &nw->side[colour ^ 1];
    nw->us = other;
    nw->them = mover;
    nw->ep = 0;

    nw->halfmove = old->halfmove + 1;
    u64 from_to = bit(from) | bit(to);
    int victim = to;

    if (type == PAWN) {
        nw->halfmove = 0;
        if ((from ^ to) == 16) {
            nw->ep = bit((from + to) >> 1);
        } else if (bit(to) == old->ep) {
            victim = colour == WHITE ? to - 8 : to + 8;
        }
        mover->pieces[0] ^= from_to;
        mover->pieces[PAWN] ^= from_to;
    } else {
        mover->pieces[0] ^= from_to;
        mover->pieces[type] ^= from_to;
        if (type == KING) {
            mover->king_sq = to;
            if (to == from + 2 || to == from - 2) {
                int rook_from = to == from + 2 ? from + 3 : from - 4;
                int rook_to = to == from + 2 ? from + 1 : from - 1;
                u64 rook_squares = bit(rook_from) | bit(rook_to);
                mover->pieces[0] ^= rook_squares;
                mover->pieces[ROOK] ^= rook_squares;
            }
        }
    }

    if (captured) {
        nw->halfmove = 0;
        other->pieces[0] ^= bit(victim);
        other->pieces[captured] ^= bit(victim);
    }

    if (promotion) {
        mover->pieces[PAWN] ^= bit(to);
        mover->pieces[promotion] ^= bit(to);
    }

    nw->castling &= ~from_to;

    nw->pawn_ending = pawnsAndKingOnly(nw->side[BLACK]) || pawnsAndKingOnly(nw->side[WHITE]) ? 1 : 0;
    nw->occupancy = nw->side[BLACK].pieces[0] | nw->side[WHITE].pieces[0];
    nw->rank_flip = colour == WHITE ? 0xe38 : 0;
    // The network's sums are left to the evaluation, which computes them
    // from these records if this position is ever evaluated.
    nw->accumulator_ready = 0;

    ply_count++;
    curr_ply = nw;

    if (type == PAWN || captured == PAWN) updatePassed();
}

void undoMove() {
    ply_count--;
    curr_ply--;
}

void makeNullMove() {
    Ply *old = curr_ply;
    Ply *nw = old + 1;
    old->move = 0;
    copyPieces(nw, old);
    int colour = old->us->info->colour;
    nw->us = &nw->side[colour ^ 1];
    nw->them = &nw->side[colour];
    nw->key ^= KEY_TABLE[KEY_WHITE_TO_MOVE];
    if (old->ep) nw->key ^= KEY_TABLE[KEY_EP_FILE + fileOf(lsb(old->ep))];
    nw->occupancy = old->occupancy;
    nw->ep = 0;
    nw->halfmove = old->halfmove + 1;
    nw->pawn_ending = old->pawn_ending;
    nw->rank_flip = colour == WHITE ? 0xe38 : 0;
    // The same pieces: the evaluation takes the sums of the record before.
    nw->accumulator_ready = 0;
    ply_count++;
    curr_ply = nw;
}

void undoNullMove() {
    ply_count--;
    curr_ply--;
}
