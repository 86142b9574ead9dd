#include "tablebase/tbchess.h"

#include "board/assert.h"

typedef uint64_t u64;

static u64 king_table[64];
static u64 knight_table[64];
static u64 pawn_table[2][64];

// Sliding attacks by line. Each square lies on four lines (rank, file,
// diagonal, anti-diagonal); a line's six inner squares give a 6-bit
// occupancy index, and line_attacks[line][square][index] is the set of
// squares along that line up to and including the first occupied square in
// each direction.
enum { LINE_RANK, LINE_FILE, LINE_DIAG, LINE_ANTI };
static u64 line_attacks[4][64][64];
static u64 rank_mask[64];
static u64 file_mask[64];
static u64 diag_mask[64];   // a1-h8 direction through the square
static u64 anti_mask[64];   // a8-h1 direction through the square
static bool tables_ready = false;

static inline int lowest(u64 b) { return __builtin_ctzll(b); }
static inline int popLowest(u64 &b) {
    int sq = __builtin_ctzll(b);
    b &= b - 1;
    return sq;
}

static inline unsigned rankIndex(int sq, u64 occ) {
    return (unsigned)(((occ & rank_mask[sq] & 0x7e7e7e7e7e7e7e7eULL) >> (8 * (sq >> 3))) >> 1);
}
static inline unsigned fileIndex(int sq, u64 occ) {
    return (unsigned)((((occ & file_mask[sq] & 0x00ffffffffffff00ULL) >> (sq & 7)) * 0x0102040810204080ULL) >> 57);
}
static inline unsigned diagIndex(u64 mask, u64 occ) {
    return (unsigned)(((occ & mask & 0x007e7e7e7e7e7e00ULL) * 0x0101010101010101ULL) >> 57);
}

u64 tbKingAttacks(int sq) { return king_table[sq]; }
u64 tbKnightAttacks(int sq) { return knight_table[sq]; }
u64 tbPawnAttacks(int colour, int sq) { return pawn_table[colour][sq]; }

u64 tbRookAttacks(int sq, u64 occ) {
    return line_attacks[LINE_RANK][sq][rankIndex(sq, occ)] | line_attacks[LINE_FILE][sq][fileIndex(sq, occ)];
}
u64 tbBishopAttacks(int sq, u64 occ) {
    return line_attacks[LINE_DIAG][sq][diagIndex(diag_mask[sq], occ)] |
           line_attacks[LINE_ANTI][sq][diagIndex(anti_mask[sq], occ)];
}
u64 tbQueenAttacks(int sq, u64 occ) { return tbRookAttacks(sq, occ) | tbBishopAttacks(sq, occ); }

static bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

// Squares reached from sq in direction (df, dr) up to the first square of occ.
static u64 ray(int sq, int df, int dr, u64 occ) {
    u64 result = 0;
    int f = (sq & 7) + df, r = (sq >> 3) + dr;
    while (onBoard(f, r)) {
        int s = r * 8 + f;
        result |= 1ULL << s;
        if (occ & (1ULL << s)) break;
        f += df;
        r += dr;
    }
    return result;
}

void initTbChess() {
    if (tables_ready) return;
    static const int KING_STEPS[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    static const int KNIGHT_STEPS[8][2] = {{-2, -1}, {-1, -2}, {1, -2}, {2, -1}, {-2, 1}, {-1, 2}, {1, 2}, {2, 1}};
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        king_table[sq] = knight_table[sq] = 0;
        for (int i = 0; i < 8; i++) {
            if (onBoard(f + KING_STEPS[i][0], r + KING_STEPS[i][1]))
                king_table[sq] |= 1ULL << ((r + KING_STEPS[i][1]) * 8 + f + KING_STEPS[i][0]);
            if (onBoard(f + KNIGHT_STEPS[i][0], r + KNIGHT_STEPS[i][1]))
                knight_table[sq] |= 1ULL << ((r + KNIGHT_STEPS[i][1]) * 8 + f + KNIGHT_STEPS[i][0]);
        }
        pawn_table[1][sq] = pawn_table[0][sq] = 0;
        for (int df = -1; df <= 1; df += 2) {
            if (onBoard(f + df, r + 1)) pawn_table[1][sq] |= 1ULL << ((r + 1) * 8 + f + df);
            if (onBoard(f + df, r - 1)) pawn_table[0][sq] |= 1ULL << ((r - 1) * 8 + f + df);
        }
        rank_mask[sq] = 0xffULL << (8 * r);
        file_mask[sq] = 0x0101010101010101ULL << f;
        diag_mask[sq] = ray(sq, 1, 1, 0) | ray(sq, -1, -1, 0) | (1ULL << sq);
        anti_mask[sq] = ray(sq, 1, -1, 0) | ray(sq, -1, 1, 0) | (1ULL << sq);
    }
    // For every line and every 6-bit index, rebuild the occupancy that the
    // index stands for and walk the rays along that line.
    for (int sq = 0; sq < 64; sq++) {
        int f = sq & 7, r = sq >> 3;
        for (unsigned idx = 0; idx < 64; idx++) {
            u64 occ_rank = 0, occ_file = 0, occ_diag = 0, occ_anti = 0;
            for (int i = 0; i < 6; i++) {
                if (!(idx & (1u << i))) continue;
                occ_rank |= 1ULL << (r * 8 + i + 1);
                occ_file |= 1ULL << ((i + 1) * 8 + f);
                occ_diag |= diag_mask[sq] & file_mask[i + 1];
                occ_anti |= anti_mask[sq] & file_mask[i + 1];
            }
            line_attacks[LINE_RANK][sq][idx] = ray(sq, 1, 0, occ_rank) | ray(sq, -1, 0, occ_rank);
            line_attacks[LINE_FILE][sq][idx] = ray(sq, 0, 1, occ_file) | ray(sq, 0, -1, occ_file);
            line_attacks[LINE_DIAG][sq][idx] = ray(sq, 1, 1, occ_diag) | ray(sq, -1, -1, occ_diag);
            line_attacks[LINE_ANTI][sq][idx] = ray(sq, 1, -1, occ_anti) | ray(sq, -1, 1, occ_anti);
        }
    }
    tables_ready = true;
}

static inline u64 occupied(const TbPosition *pos) { return pos->white | pos->black; }

// Square of the king of a colour set; the colour must have one.
static inline int kingSquare(const TbPosition *pos, u64 colour) {
    u64 b = pos->kings & colour;
    CHECK(b != 0);
    return lowest(b);
}

// Pieces of colour `by` (a colour set) that attack sq, kings excluded.
static u64 attackersOf(const TbPosition *pos, int sq, u64 by, int by_white, u64 occ) {
    u64 att = tbKnightAttacks(sq) & pos->knights;
    att |= tbPawnAttacks(!by_white, sq) & pos->pawns;
    att |= tbBishopAttacks(sq, occ) & (pos->bishops | pos->queens);
    att |= tbRookAttacks(sq, occ) & (pos->rooks | pos->queens);
    return att & by;
}

static inline TbMove *addPawnMoves(TbMove *list, int from, int to) {
    if (to >= 56 || to < 8) {
        *list++ = tbBuildMove(from, to, TB_PROMOTE_QUEEN);
        *list++ = tbBuildMove(from, to, TB_PROMOTE_KNIGHT);
        *list++ = tbBuildMove(from, to, TB_PROMOTE_ROOK);
        *list++ = tbBuildMove(from, to, TB_PROMOTE_BISHOP);
    } else {
        *list++ = tbBuildMove(from, to);
    }
    return list;
}

// Shared body of the two generators: with captures_only, only moves that take
// an enemy piece (and en passant captures) are listed.
static TbMove *generate(const TbPosition *pos, TbMove *list, bool captures_only) {
    u64 us = tbUs(pos), them = tbThem(pos), occ = us | them;
    u64 targets_mask = captures_only ? them : ~us;

    u64 king = pos->kings & us;
    CHECK(king != 0);
    int from = lowest(king);
    CHECK(from < 64);
    u64 b = tbKingAttacks(from) & targets_mask;
    while (b) *list++ = tbBuildMove(from, popLowest(b));

    const u64 sets[4] = {pos->queens, pos->rooks, pos->bishops, pos->knights};
    for (int type = 0; type < 4; type++) {
        u64 pieces = sets[type] & us;
        while (pieces) {
            int sq = popLowest(pieces);
            u64 att = type == 0   ? tbQueenAttacks(sq, occ)
                      : type == 1 ? tbRookAttacks(sq, occ)
                      : type == 2 ? tbBishopAttacks(sq, occ)
                                  : tbKnightAttacks(sq);
            att &= targets_mask;
            while (att) *list++ = tbBuildMove(sq, popLowest(att));
        }
    }

    u64 pawns = pos->pawns & us;
    int white = pos->turn != 0;
    while (pawns) {
        int sq = popLowest(pawns);
        u64 att = tbPawnAttacks(white, sq);
        if (pos->ep && (att & (1ULL << pos->ep))) *list++ = tbBuildMove(sq, pos->ep);
        u64 targets = att & them;
        if (!captures_only) {
            int step = white ? 8 : -8;
            int one = sq + step;
            if (one >= 0 && one < 64 && !(occ & (1ULL << one))) {
                targets |= 1ULL << one;
                int start_rank = white ? 1 : 6;
                int two = one + step;
                if ((sq >> 3) == start_rank && !(occ & (1ULL << two))) targets |= 1ULL << two;
            }
        }
        while (targets) list = addPawnMoves(list, sq, popLowest(targets));
    }
    return list;
}

TbMove *tbGenerateMoves(const TbPosition *pos, TbMove *list) { return generate(pos, list, false); }
TbMove *tbGenerateCaptures(const TbPosition *pos, TbMove *list) { return generate(pos, list, true); }

bool tbIsCapture(const TbPosition *pos, TbMove move) {
    return (tbThem(pos) & (1ULL << tbMoveTo(move))) != 0;
}

bool tbIsEnPassant(const TbPosition *pos, TbMove move) {
    return pos->ep != 0 && tbMoveTo(move) == pos->ep && (pos->pawns & tbUs(pos) & (1ULL << tbMoveFrom(move)));
}

bool tbMakeMove(TbPosition *next, const TbPosition *pos, TbMove move) {
    int from = tbMoveFrom(move), to = tbMoveTo(move), promotion = tbMovePromotion(move);
    u64 from_bb = 1ULL << from, to_bb = 1ULL << to;
    bool captures = (occupied(pos) & to_bb) != 0;
    int mover_white = pos->turn != 0;

    *next = *pos;
    next->turn = (uint8_t)!pos->turn;
    next->ep = 0;
    u64 *sets[8] = {&next->white, &next->black, &next->kings, &next->queens,
                    &next->rooks, &next->bishops, &next->knights, &next->pawns};
    for (u64 *b : sets) {
        bool had = (*b & from_bb) != 0;
        *b &= ~(from_bb | to_bb);
        if (had) *b |= to_bb;
    }

    if (pos->pawns & from_bb) {
        next->halfmove = 0;
        if (promotion) {
            next->pawns &= ~to_bb;
            switch (promotion) {
            case TB_PROMOTE_QUEEN: next->queens |= to_bb; break;
            case TB_PROMOTE_ROOK: next->rooks |= to_bb; break;
            case TB_PROMOTE_BISHOP: next->bishops |= to_bb; break;
            default: next->knights |= to_bb; break;
            }
        } else if ((from ^ to) == 16) {
            int skipped = (from + to) / 2;
            u64 enemy_pawns = next->pawns & (mover_white ? next->black : next->white);
            if (tbPawnAttacks(mover_white, skipped) & enemy_pawns) next->ep = (uint8_t)skipped;
        } else if (pos->ep && to == pos->ep) {
            u64 victim = 1ULL << (mover_white ? to - 8 : to + 8);
            next->pawns &= ~victim;
            next->white &= ~victim;
            next->black &= ~victim;
        }
    } else if (captures) {
        next->halfmove = 0;
    } else {
        // Saturates, so that a long quiet sequence never looks like a reset.
        next->halfmove = (uint8_t)(pos->halfmove < 255 ? pos->halfmove + 1 : 255);
    }

    u64 mover = mover_white ? next->white : next->black;
    u64 king = next->kings & mover;
    if (!king) return false;
    int ksq = lowest(king);
    if (tbKingAttacks(ksq) & next->kings & ~mover) return false;
    return attackersOf(next, ksq, tbUs(next), next->turn, occupied(next)) == 0;
}

bool tbInCheck(const TbPosition *pos) {
    int ksq = kingSquare(pos, tbUs(pos));
    return attackersOf(pos, ksq, tbThem(pos), !pos->turn, occupied(pos)) != 0;
}

bool tbIsLegal(const TbPosition *pos) {
    u64 king = pos->kings & tbThem(pos);
    if (!king) return false;
    int ksq = lowest(king);
    if (tbKingAttacks(ksq) & pos->kings & tbUs(pos)) return false;
    return attackersOf(pos, ksq, tbUs(pos), pos->turn, occupied(pos)) == 0;
}

bool tbHasNoLegalMove(const TbPosition *pos) {
    TbMove moves[TB_MAX_MOVES];
    TbMove *end = tbGenerateMoves(pos, moves);
    for (TbMove *m = moves; m < end; m++) {
        TbPosition next;
        if (tbMakeMove(&next, pos, *m)) return false;
    }
    return true;
}

bool tbIsMate(const TbPosition *pos) { return tbInCheck(pos) && tbHasNoLegalMove(pos); }
