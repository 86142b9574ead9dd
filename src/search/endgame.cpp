#include "search/endgame.h"

#include "board/attacks.h"
#include "board/position.h"
#include "board/sliders.h"
#include "search/kpk.h"
#include "tablebase/tbprobe.h"

const i8 king_centrality[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 2, 2, 2, 2, 2, 2, 0,
    0, 2, 5, 5, 5, 5, 2, 0,
    0, 2, 5, 6, 6, 5, 2, 0,
    0, 2, 5, 6, 6, 5, 2, 0,
    0, 2, 5, 5, 5, 5, 2, 0,
    0, 2, 2, 2, 2, 2, 2, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
};

static int kingDistance(int a, int b) {
    int df = fileOf(a) - fileOf(b), dr = rankOf(a) - rankOf(b);
    if (df < 0) df = -df;
    if (dr < 0) dr = -dr;
    return df > dr ? df : dr;
}

static int material(const Side *side) {
    int m = 0;
    for (int t = PAWN; t <= QUEEN; t++) m += popCount(side->pieces[t]) * ENDGAME_VALUE[t];
    return m;
}

// Rank of a pawn counted from its owner's first rank (0..7).
static int relativeRank(int sq, int colour) { return colour == WHITE ? rankOf(sq) : 7 - rankOf(sq); }

void currentTbPosition(TbPosition *pos) {
    const Ply *p = curr_ply;
    pos->white = p->side[WHITE].pieces[0];
    pos->black = p->side[BLACK].pieces[0];
    pos->kings = p->side[WHITE].pieces[KING] | p->side[BLACK].pieces[KING];
    pos->queens = p->side[WHITE].pieces[QUEEN] | p->side[BLACK].pieces[QUEEN];
    pos->rooks = p->side[WHITE].pieces[ROOK] | p->side[BLACK].pieces[ROOK];
    pos->bishops = p->side[WHITE].pieces[BISHOP] | p->side[BLACK].pieces[BISHOP];
    pos->knights = p->side[WHITE].pieces[KNIGHT] | p->side[BLACK].pieces[KNIGHT];
    pos->pawns = p->side[WHITE].pieces[PAWN] | p->side[BLACK].pieces[PAWN];
    pos->halfmove = (uint8_t)(p->halfmove < 0 ? 0 : p->halfmove > 255 ? 255 : p->halfmove);
    pos->ep = (uint8_t)(p->ep ? lsb(p->ep) : 0);
    pos->turn = p->us == &p->side[WHITE];
}

// A lone king to move that has no square to step to is mated or stalemated.
// The rules below would score such a position as a plain win for the other
// side (a stalemate too), so it is left to the search, which finds the mate
// or the draw. A king that could take the other piece has been dealt with.
static bool loneKingStuck(const Ply *p) {
    const Side *us = p->us, *them = p->them;
    if (us->pieces[0] != us->pieces[KING]) return false;
    const int them_colour = them == &p->side[WHITE] ? WHITE : BLACK;
    // Sliders see through the king: it cannot step back along their line.
    const u64 occupancy = p->occupancy & ~bit(us->king_sq);
    u64 attacked = king_attacks[them->king_sq];
    for (u64 b = them->pieces[PAWN]; b;) attacked |= pawn_attacks[them_colour][popLsb(b)];
    for (u64 b = them->pieces[ROOK] | them->pieces[QUEEN]; b;) attacked |= rookAttacks(popLsb(b), occupancy);
    for (u64 b = them->pieces[QUEEN]; b;) attacked |= bishopAttacks(popLsb(b), occupancy);
    return (king_attacks[us->king_sq] & ~attacked) == 0;
}

// Three pieces: the lone piece hangs, a minor piece cannot win, a pawn is
// judged by the bitbase, a rook or queen wins.
static int threePieces(int *score) {
    const Ply *p = curr_ply;
    const Side *us = p->us, *them = p->them;
    int us_colour = us == &p->side[WHITE] ? WHITE : BLACK;

    u64 their_piece = them->pieces[0] & ~them->pieces[KING];
    if (king_attacks[us->king_sq] & their_piece & ~king_attacks[them->king_sq]) {
        *score = 0;
        return 1;
    }
    u64 minors = p->side[WHITE].pieces[KNIGHT] | p->side[WHITE].pieces[BISHOP] | p->side[BLACK].pieces[KNIGHT] |
                 p->side[BLACK].pieces[BISHOP];
    if (minors) {
        *score = 0;
        return 1;
    }
    if (loneKingStuck(p)) return 0;

    int s = popCount(us->pieces[0]) == 2 ? 13000 : -13000;
    if (us->pieces[PAWN]) {
        int pawn = lsb(us->pieces[PAWN]);
        if (kpkIsDraw(us->king_sq, them->king_sq, pawn, us_colour, true)) {
            *score = 0;
            return 1;
        }
        s += 10 * relativeRank(pawn, us_colour) - kingDistance(us->king_sq, pawn);
    } else if (them->pieces[PAWN]) {
        int pawn = lsb(them->pieces[PAWN]);
        if (kpkIsDraw(them->king_sq, us->king_sq, pawn, us_colour ^ 1, false)) {
            *score = 0;
            return 1;
        }
        s -= 10 * relativeRank(pawn, us_colour ^ 1) - kingDistance(them->king_sq, pawn);
    }
    s += material(us) - material(them);
    if (!(p->side[WHITE].pieces[PAWN] | p->side[BLACK].pieces[PAWN]))
        s += 10 * (king_centrality[us->king_sq] - king_centrality[them->king_sq]);
    *score = s;
    return 1;
}

int probeEndgame(int *score) {
    const Ply *p = curr_ply;
    int n = popCount(p->occupancy);
    if (n == 2) {
        *score = 0;
        return 1;
    }
    if (n == 3) return threePieces(score);

    if (max_tb_pieces < 4 || n > max_tb_pieces || p->halfmove != 0 || canCastle(p->castling) || p->ep) return 0;
    TbPosition pos;
    currentTbPosition(&pos);
    pos.halfmove = 0;
    pos.ep = 0;
    int success = 0;
    int wdl = probeWdl(&pos, &success);
    if (!success) return 0;
    const Side *us = p->us, *them = p->them;
    int bonus = material(us) - material(them) + king_centrality[us->king_sq] - king_centrality[them->king_sq];
    switch (wdl) {
    case TB_DRAW: *score = 0; return 1;
    case TB_WIN: *score = 10000 + bonus; return 1;
    case TB_LOSS: *score = -10000 + bonus; return 1;
    default: return 0;   // cursed win or blessed loss: left to the search
    }
}

bool probeRootTablebase(Move *move, int *score) {
    const Ply *p = curr_ply;
    int n = popCount(p->occupancy);
    if (n < 3 || max_tb_pieces < 3 || n > max_tb_pieces || canCastle(p->castling)) return false;
    TbPosition pos;
    currentTbPosition(&pos);
    uint32_t result = tbProbeRoot(&pos);
    uint32_t wdl = tbResultWdl(result);
    if (wdl > TB_RESULT_WIN) return false;

    int d = tbResultDtz(result);
    int from = tbResultFrom(result), to = tbResultTo(result), promotion = tbResultPromotion(result);
    for (int i = 0; i < p->generated; i++) {
        Move m = p->moves[i];
        if (moveFrom(m) != from || moveTo(m) != to) continue;
        if (promotion && movePromotion(m) != 6 - promotion) continue;
        *move = m;
        switch (wdl) {
        case TB_RESULT_LOSS: *score = d - 10000; break;
        case TB_RESULT_BLESSED_LOSS: *score = d - 5000; break;
        case TB_RESULT_DRAW: *score = 0; break;
        case TB_RESULT_CURSED_WIN: *score = 5000 - d; break;
        default: *score = 10000 - d; break;
        }
        return true;
    }
    return false;
}
