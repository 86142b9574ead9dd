// Attack information and legal move generation for curr_ply.
//
// updateAttacks computes, for both colours, what they attack, the squares from
// which each piece type would check their king, the checkers, the pinned
// pieces, the pieces that can uncover a check, and the evasion mask. The
// generator then only needs AND operations to produce legal moves with their
// ordering flags; only en passant is tried on the board.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board/position.h"
#include "board/sliders.h"

namespace {

constexpr u64 RANK_2_BB = 0x000000000000ff00ULL;
constexpr u64 RANK_3_BB = 0x0000000000ff0000ULL;
constexpr u64 RANK_6_BB = 0x0000ff0000000000ULL;
constexpr u64 RANK_7_BB = 0x00ff000000000000ULL;

inline u64 pawnAttackSet(u64 pawns, int colour) {
    if (colour == WHITE) return ((pawns & ~FILE_A_BB) << 7) | ((pawns & ~FILE_H_BB) << 9);
    return ((pawns & ~FILE_A_BB) >> 9) | ((pawns & ~FILE_H_BB) >> 7);
}

// Whether any piece of side s attacks square sq with the given occupancy.
inline bool attackedBy(int sq, const Side *s, u64 occupancy) {
    const u64 *p = s->pieces;
    return (p[PAWN] & pawn_attacks[s->info->colour ^ 1][sq]) || (p[KNIGHT] & knight_attacks[sq]) ||
           (p[KING] & king_attacks[sq]) || ((p[BISHOP] | p[QUEEN]) & bishopAttacks(sq, occupancy)) ||
           ((p[ROOK] | p[QUEEN]) & rookAttacks(sq, occupancy));
}

// Type of the piece of side s on a square known to hold one of its pieces.
inline int pieceOn(const Side *s, u64 sq_bit) {
    if (s->pieces[PAWN] & sq_bit) return PAWN;
    if (s->pieces[KNIGHT] & sq_bit) return KNIGHT;
    if (s->pieces[BISHOP] & sq_bit) return BISHOP;
    if (s->pieces[ROOK] & sq_bit) return ROOK;
    if (s->pieces[QUEEN] & sq_bit) return QUEEN;
    return KING;
}

// Keeps the destinations of a pinned piece that stay on the line through its
// king and itself.
inline u64 keepOnPinLine(u64 dests, int king_sq, int from) {
    u64 line = line_id[king_sq] & line_id[from];
    u64 kept = 0;
    while (dests) {
        int to = popLsb(dests);
        if (line_id[to] & line) kept |= bit(to);
    }
    return kept;
}

// Everything the generator reads over and over, gathered once per call.
struct GenContext {
    Ply *p;
    Side *us, *them;
    const u64 *us_att, *them_att;
    Move *list;
    int n;
    u64 them_all;     // them's pieces
    u64 them_attack;  // squares them attacks
    u64 us_attack;    // squares us attacks (defended squares)
    u64 discoverers;
    u64 them_king_line;
};

// Appends the moves of one piece (not a promotion, en passant or castling).
template <int MODE>
inline void addMoves(GenContext &g, int from, int type, u64 dests, u32 extra) {
    u64 from_bit = bit(from);
    Move base = ((Move)from << MOVE_SHIFT_FROM) | ((Move)(7 - type) << MOVE_SHIFT_MOVED) | extra;
    bool escape_from = (from_bit & g.them_attack) && !(from_bit & g.us_attack);
    bool disc_from = (from_bit & g.discoverers) != 0;
    u64 disc_line = g.them_king_line & line_id[from];
    u64 check_squares = g.them_att[ATK_CHECK_SQ + type];
    while (dests) {
        int to = popLsb(dests);
        u64 to_bit = bit(to);
        Move m = base | (Move)to;
        if (to_bit & g.them_all) m |= (Move)pieceOn(g.them, to_bit) << MOVE_SHIFT_CAPTURED;
        if (to_bit & check_squares) m |= FLAG_CHECK;
        if (disc_from && !(line_id[to] & disc_line)) m |= FLAG_DISCOVERED;
        if (escape_from && !(to_bit & g.them_attack)) m |= FLAG_ESCAPE;
        if (MODE == GEN_NOISY && !(m & ORDER_MASK)) continue;
        g.list[g.n++] = m;
    }
}

inline void generatePromotions(GenContext &g, u64 evasion, u64 pinned, u64 promo_rank) {
    int colour = g.us->info->colour;
    u64 occupancy = g.p->occupancy;
    u64 them_king = bit(g.them->king_sq);
    u64 pawns = g.us->pieces[PAWN] & promo_rank;
    while (pawns) {
        int from = popLsb(pawns);
        u64 dests = ((pawn_attacks[colour][from] & g.them_all) | (front_span[colour][from] & ~occupancy)) & evasion;
        if (bit(from) & pinned) dests = keepOnPinLine(dests, g.us->king_sq, from);
        u64 without_pawn = occupancy & ~bit(from);
        bool disc_from = (bit(from) & g.discoverers) != 0;
        u64 disc_line = g.them_king_line & line_id[from];
        while (dests) {
            int to = popLsb(dests);
            u64 to_bit = bit(to);
            Move m = (Move)to | ((Move)from << MOVE_SHIFT_FROM) | ((Move)(7 - PAWN) << MOVE_SHIFT_MOVED);
            if (to_bit & g.them_all) m |= (Move)pieceOn(g.them, to_bit) << MOVE_SHIFT_CAPTURED;
            if (disc_from && !(line_id[to] & disc_line)) m |= FLAG_DISCOVERED;
            bool rook_check = (rookAttacks(to, without_pawn) & them_king) != 0;
            bool bishop_check = (bishopAttacks(to, without_pawn) & them_king) != 0;
            bool knight_check = (knight_attacks[to] & them_king) != 0;
            g.list[g.n++] = m | ((Move)QUEEN << MOVE_SHIFT_PROMOTION) | (rook_check || bishop_check ? FLAG_CHECK : 0);
            g.list[g.n++] = m | ((Move)ROOK << MOVE_SHIFT_PROMOTION) | (rook_check ? FLAG_CHECK : 0);
            g.list[g.n++] = m | ((Move)BISHOP << MOVE_SHIFT_PROMOTION) | (bishop_check ? FLAG_CHECK : 0);
            g.list[g.n++] = m | ((Move)KNIGHT << MOVE_SHIFT_PROMOTION) | (knight_check ? FLAG_CHECK : 0);
        }
    }
}

// En passant is tried on the board (in the next record of the stack): taking
// two pawns off one rank can expose the king in a way the pin sets miss.
// En passant is tested on the position after the capture: both pawns leave
// their squares, so a king on the rank (or a diagonal) through them can be
// exposed. The capture is legal when the mover's king is not attacked there,
// and it gives check when the other king is.
inline void generateEnPassant(GenContext &g) {
    int ep_sq = lsb(g.p->ep);
    int colour = g.us->info->colour;
    int victim = colour == WHITE ? ep_sq - 8 : ep_sq + 8;
    u64 capturers = g.us->pieces[PAWN] & pawn_attacks[colour ^ 1][ep_sq];
    while (capturers) {
        int from = popLsb(capturers);
        Side us = *g.us, them = *g.them;
        us.pieces[PAWN] ^= bit(from) | bit(ep_sq);
        them.pieces[PAWN] ^= bit(victim);
        u64 occupancy = (g.p->occupancy ^ bit(from) ^ bit(victim)) | bit(ep_sq);
        if (attackedBy(us.king_sq, &them, occupancy)) continue;
        Move m = buildMove(from, ep_sq, PAWN, PAWN);
        if (attackedBy(them.king_sq, &us, occupancy)) m |= FLAG_CHECK | FLAG_DISCOVERED;
        g.list[g.n++] = m;
    }
}

inline void generateCastling(GenContext &g) {
    const Ply *p = g.p;
    int k = g.us->king_sq;
    u64 occupancy = p->occupancy;
    u64 them_king = bit(g.them->king_sq);
    u64 without_king = occupancy & ~bit(k);
    if ((p->castling & bit(k + 3)) && !((occupancy | g.them_attack) & (bit(k + 1) | bit(k + 2)))) {
        Move m = buildMove(k, k + 2, KING);
        if (rookAttacks(k + 1, without_king) & them_king) m |= FLAG_CHECK;
        g.list[g.n++] = m;
    }
    if ((p->castling & bit(k - 4)) && !((occupancy | g.them_attack) & (bit(k - 1) | bit(k - 2))) &&
        !(occupancy & bit(k - 3))) {
        Move m = buildMove(k, k - 2, KING);
        if (rookAttacks(k - 1, without_king) & them_king) m |= FLAG_CHECK;
        g.list[g.n++] = m;
    }
}

template <int MODE>
void generate() {
    GenContext g;
    g.p = curr_ply;
    g.us = g.p->us;
    g.them = g.p->them;
    g.us_att = g.us->attacks;
    g.them_att = g.them->attacks;
    g.list = g.p->moves;
    g.n = 0;
    g.them_all = g.them->pieces[0];
    g.them_attack = g.them_att[ATK_ALL];
    g.us_attack = g.us_att[ATK_ALL];
    g.discoverers = g.us_att[ATK_DISCOVERERS];
    g.them_king_line = line_id[g.them->king_sq];

    const Ply *p = g.p;
    u64 occupancy = p->occupancy;
    u64 targets = MODE == GEN_CAPTURES ? g.them_all : ~g.us->pieces[0];
    u64 checkers = g.us_att[ATK_CHECKERS];

    if (!(checkers & (checkers - 1))) {  // not in double check
        u64 evasion = g.us_att[ATK_EVASION];
        u64 pinned = g.us_att[ATK_PINNED];
        u64 piece_targets = targets & evasion;
        int colour = g.us->info->colour;
        u64 promo_rank = colour == WHITE ? RANK_7_BB : RANK_2_BB;
        int push = colour == WHITE ? 8 : -8;
        u64 double_rank = colour == WHITE ? RANK_3_BB : RANK_6_BB;
        int king_sq = g.us->king_sq;

        generatePromotions(g, evasion, pinned, promo_rank);
        if (p->ep) generateEnPassant(g);

        u64 advance_squares = g.us->passed | g.us->info->far_half;
        u64 pawns = g.us->pieces[PAWN] & ~promo_rank;
        while (pawns) {
            int from = popLsb(pawns);
            u64 dests = pawn_attacks[colour][from] & occupancy;
            int one = from + push;
            if (!(occupancy & bit(one))) {
                dests |= bit(one);
                if ((bit(one) & double_rank) && !(occupancy & bit(one + push))) dests |= bit(one + push);
            }
            dests &= piece_targets;
            if (bit(from) & pinned) dests = keepOnPinLine(dests, king_sq, from);
            addMoves<MODE>(g, from, PAWN, dests, (bit(from) & advance_squares) ? FLAG_ADVANCE : 0);
        }

        u64 knights = g.us->pieces[KNIGHT];
        while (knights) {
            int from = popLsb(knights);
            u64 dests = knight_attacks[from] & piece_targets;
            if (bit(from) & pinned) dests = keepOnPinLine(dests, king_sq, from);
            addMoves<MODE>(g, from, KNIGHT, dests, 0);
        }
        for (int type = BISHOP; type <= QUEEN; type++) {
            u64 pieces = g.us->pieces[type];
            while (pieces) {
                int from = popLsb(pieces);
                u64 dests = p->slider_attacks[from] & piece_targets;
                if (bit(from) & pinned) dests = keepOnPinLine(dests, king_sq, from);
                addMoves<MODE>(g, from, type, dests, 0);
            }
        }
    }

    int king_sq = g.us->king_sq;
    addMoves<MODE>(g, king_sq, KING, kingTargets(king_sq) & targets, 0);

    if (MODE == GEN_ALL && !checkers && (p->castling & bit(king_sq))) generateCastling(g);

    g.p->generated = g.n;
}

}  // namespace

void updateAttacks() {
    Ply *p = curr_ply;
    u64 occupancy = p->occupancy;

    // What each colour attacks, and the squares from which each enemy piece
    // type would check its king.
    for (int c = BLACK; c <= WHITE; c++) {
        const Side *x = &p->side[c];
        const Side *e = &p->side[c ^ 1];
        u64 *a = p->attack[c];

        a[PAWN] = pawnAttackSet(x->pieces[PAWN], c);
        u64 set = 0;
        for (u64 b = x->pieces[KNIGHT]; b;) set |= knight_attacks[popLsb(b)];
        a[KNIGHT] = set;
        set = 0;
        for (u64 b = x->pieces[BISHOP]; b;) {
            int sq = popLsb(b);
            set |= p->slider_attacks[sq] = bishopAttacks(sq, occupancy);
        }
        a[BISHOP] = set;
        set = 0;
        for (u64 b = x->pieces[ROOK]; b;) {
            int sq = popLsb(b);
            set |= p->slider_attacks[sq] = rookAttacks(sq, occupancy);
        }
        a[ROOK] = set;
        set = 0;
        for (u64 b = x->pieces[QUEEN]; b;) {
            int sq = popLsb(b);
            set |= p->slider_attacks[sq] = queenAttacks(sq, occupancy);
        }
        a[QUEEN] = set;
        a[KING] = king_attacks[x->king_sq];
        a[ATK_ALL] = a[PAWN] | a[KNIGHT] | a[BISHOP] | a[ROOK] | a[QUEEN] | a[KING];

        int k = x->king_sq;
        const u64 *ep = e->pieces;
        a[ATK_CHECK_SQ + PAWN] = ep[PAWN] ? pawn_attacks[c][k] : 0;
        a[ATK_CHECK_SQ + KNIGHT] = ep[KNIGHT] ? knight_attacks[k] : 0;
        a[ATK_CHECK_SQ + BISHOP] = (ep[BISHOP] | ep[QUEEN]) ? bishopAttacks(k, occupancy) : 0;
        a[ATK_CHECK_SQ + ROOK] = (ep[ROOK] | ep[QUEEN]) ? rookAttacks(k, occupancy) : 0;
        a[ATK_CHECK_SQ + QUEEN] = a[ATK_CHECK_SQ + BISHOP] | a[ATK_CHECK_SQ + ROOK];
        a[ATK_CHECK_SQ + KING] = 0;
        a[ATK_CHECK_SQ] = a[ATK_CHECK_SQ + PAWN] | a[ATK_CHECK_SQ + KNIGHT] | a[ATK_CHECK_SQ + QUEEN];
        a[ATK_CHECKERS] = (ep[PAWN] & a[ATK_CHECK_SQ + PAWN]) | (ep[KNIGHT] & a[ATK_CHECK_SQ + KNIGHT]) |
                          (ep[BISHOP] & a[ATK_CHECK_SQ + BISHOP]) | (ep[ROOK] & a[ATK_CHECK_SQ + ROOK]) |
                          (ep[QUEEN] & a[ATK_CHECK_SQ + QUEEN]);
    }

    // Line segments between each king and the enemy sliders aimed at it (the
    // whole gap when it is empty, the single piece standing in it otherwise),
    // then pins, discoverers and the evasion mask.
    u64 segments[2];
    for (int c = BLACK; c <= WHITE; c++) {
        const Side *e = &p->side[c ^ 1];
        const u64 *a = p->attack[c];
        int k = p->side[c].king_sq;
        u64 seg = 0;
        for (u64 b = (e->pieces[ROOK] | e->pieces[QUEEN]) & rook_rays[k]; b;) {
            int sq = popLsb(b);
            seg |= p->slider_attacks[sq] & rook_rays[sq] & a[ATK_CHECK_SQ + ROOK];
        }
        for (u64 b = (e->pieces[BISHOP] | e->pieces[QUEEN]) & bishop_rays[k]; b;) {
            int sq = popLsb(b);
            seg |= p->slider_attacks[sq] & bishop_rays[sq] & a[ATK_CHECK_SQ + BISHOP];
        }
        segments[c] = seg;
    }
    for (int c = BLACK; c <= WHITE; c++) {
        const Side *x = &p->side[c];
        u64 *a = p->attack[c];
        a[ATK_PINNED] = segments[c] & x->pieces[0];
        // X's pieces standing alone between X's sliders and the enemy king:
        // the enemy's segments, seen from the other side.
        const u64 *ea = p->attack[c ^ 1];
        int ek = p->side[c ^ 1].king_sq;
        u64 seg = 0;
        for (u64 b = (x->pieces[ROOK] | x->pieces[QUEEN]) & rook_rays[ek]; b;) {
            int sq = popLsb(b);
            seg |= p->slider_attacks[sq] & rook_rays[sq] & ea[ATK_CHECK_SQ + ROOK];
        }
        for (u64 b = (x->pieces[BISHOP] | x->pieces[QUEEN]) & bishop_rays[ek]; b;) {
            int sq = popLsb(b);
            seg |= p->slider_attacks[sq] & bishop_rays[sq] & ea[ATK_CHECK_SQ + BISHOP];
        }
        a[ATK_DISCOVERERS] = seg & x->pieces[0];
        u64 checkers = a[ATK_CHECKERS];
        bool single = checkers && !(checkers & (checkers - 1));
        a[ATK_EVASION] = single ? (segments[c] & ~occupancy) | checkers : ~0ULL;
    }
}

u64 attackedSquares(int colour) {
    const Ply *p = curr_ply;
    const u64 *x = p->side[colour].pieces;
    const u64 occupancy = p->occupancy;
    u64 set = pawnAttackSet(x[PAWN], colour) | king_attacks[p->side[colour].king_sq];
    for (u64 b = x[KNIGHT]; b;) set |= knight_attacks[popLsb(b)];
    for (u64 b = x[BISHOP] | x[QUEEN]; b;) set |= bishopAttacks(popLsb(b), occupancy);
    for (u64 b = x[ROOK] | x[QUEEN]; b;) set |= rookAttacks(popLsb(b), occupancy);
    return set;
}

u64 kingTargets(int from) {
    const Ply *p = curr_ply;
    const Side *them = p->them;
    u64 targets = king_attacks[from] & ~them->attacks[ATK_ALL];
    u64 checkers = p->us->attacks[ATK_CHECKERS];
    if (checkers) {
        // A slider's attack stops at our king; behind the king the line is
        // attacked too once the king steps back along it.
        u64 without_king = p->occupancy & ~bit(p->us->king_sq);
        for (u64 b = checkers & (them->pieces[BISHOP] | them->pieces[ROOK] | them->pieces[QUEEN]); b;) {
            int sq = popLsb(b);
            u64 sq_bit = bit(sq);
            if (sq_bit & them->pieces[BISHOP]) targets &= ~bishopAttacks(sq, without_king);
            else if (sq_bit & them->pieces[ROOK]) targets &= ~rookAttacks(sq, without_king);
            else targets &= ~queenAttacks(sq, without_king);
        }
    }
    return targets;
}

void generateMoves(int mode) {
    if (mode == GEN_NOISY) generate<GEN_NOISY>();
    else if (mode == GEN_CAPTURES) generate<GEN_CAPTURES>();
    else generate<GEN_ALL>();
}
