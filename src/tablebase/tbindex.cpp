// Position indexing: the number of positions of a sub-table and the index of
// a concrete placement of pieces inside it.
#include "tablebase/tbinternal.h"

const u8 TRIANGLE[64] = {
     6,  0,  1,  2,  2,  1,  0,  6,  // rank 1
     0,  7,  3,  4,  4,  3,  7,  0,  // rank 2
     1,  3,  8,  5,  5,  8,  3,  1,  // rank 3
     2,  4,  5,  9,  9,  5,  4,  2,  // rank 4
     2,  4,  5,  9,  9,  5,  4,  2,  // rank 5
     1,  3,  8,  5,  5,  8,  3,  1,  // rank 6
     0,  7,  3,  4,  4,  3,  7,  0,  // rank 7
     6,  0,  1,  2,  2,  1,  0,  6,  // rank 8
};
const u8 LOWER[64] = {
    28,  0,  1,  2,  3,  4,  5,  6,  // rank 1
     0, 29,  7,  8,  9, 10, 11, 12,  // rank 2
     1,  7, 30, 13, 14, 15, 16, 17,  // rank 3
     2,  8, 13, 31, 18, 19, 20, 21,  // rank 4
     3,  9, 14, 18, 32, 22, 23, 24,  // rank 5
     4, 10, 15, 19, 22, 33, 25, 26,  // rank 6
     5, 11, 16, 20, 23, 25, 34, 27,  // rank 7
     6, 12, 17, 21, 24, 26, 27, 35,  // rank 8
};
const u8 DIAG[64] = {
     0,  0,  0,  0,  0,  0,  0,  0,  // rank 1
     0,  1,  0,  0,  0,  0,  0,  0,  // rank 2
     0,  0,  2,  0,  0,  0,  0,  0,  // rank 3
     0,  0,  0,  3,  0,  0,  0,  0,  // rank 4
     0,  0,  0,  0,  4,  0,  0,  0,  // rank 5
     0,  0,  0,  0,  0,  5,  0,  0,  // rank 6
     0,  0,  0,  0,  0,  0,  6,  0,  // rank 7
     0,  0,  0,  0,  0,  0,  0,  7,  // rank 8
};
const u8 FLAP[64] = {
     0,  0,  0,  0,  0,  0,  0,  0,  // rank 1
     0,  6, 12, 18, 18, 12,  6,  0,  // rank 2
     1,  7, 13, 19, 19, 13,  7,  1,  // rank 3
     2,  8, 14, 20, 20, 14,  8,  2,  // rank 4
     3,  9, 15, 21, 21, 15,  9,  3,  // rank 5
     4, 10, 16, 22, 22, 16, 10,  4,  // rank 6
     5, 11, 17, 23, 23, 17, 11,  5,  // rank 7
     0,  0,  0,  0,  0,  0,  0,  0,  // rank 8
};
const u8 PAWN_TWIST[64] = {
     0,  0,  0,  0,  0,  0,  0,  0,  // rank 1
    47, 35, 23, 11, 10, 22, 34, 46,  // rank 2
    45, 33, 21,  9,  8, 20, 32, 44,  // rank 3
    43, 31, 19,  7,  6, 18, 30, 42,  // rank 4
    41, 29, 17,  5,  4, 16, 28, 40,  // rank 5
    39, 27, 15,  3,  2, 14, 26, 38,  // rank 6
    37, 25, 13,  1,  0, 12, 24, 36,  // rank 7
     0,  0,  0,  0,  0,  0,  0,  0,  // rank 8
};
const u8 FILE_TO_FILE[8] = {0, 1, 2, 3, 3, 2, 1, 0};

i16 KK_INDEX[10][64];
u64 binomial[7][64];
u64 pawn_index[6][24];
u64 pawn_factor[6][4];

static bool index_tables_ready = false;

static bool adjacentOrEqual(int a, int b) {
    int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
    return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// Two kings: the first in one of the ten triangle classes (by its canonical
// square), the second anywhere it may legally stand. Codes run class by
// class; when the first king is on the diagonal, second kings above the
// diagonal are mirrored away and those on it are numbered last.
static void buildKkIndex() {
    static const int CANONICAL[10] = {B1_SQ, C1_SQ, D1_SQ, C2_SQ, D2_SQ, D3_SQ, A1_SQ, B2_SQ, C3_SQ, D4_SQ};
    int code = 0;
    int aside_class[64 * 10], aside_square[64 * 10], num_aside = 0;
    for (int c = 0; c < 10; c++) {
        int k = CANONICAL[c];
        bool on_diag = offDiag(k) == 0;
        for (int s = 0; s < 64; s++) {
            if (adjacentOrEqual(k, s)) {
                KK_INDEX[c][s] = -1;
            } else if (on_diag && offDiag(s) > 0) {
                KK_INDEX[c][s] = -1;
            } else if (on_diag && offDiag(s) == 0) {
                aside_class[num_aside] = c;
                aside_square[num_aside++] = s;
            } else {
                KK_INDEX[c][s] = (i16)code++;
            }
        }
    }
    for (int i = 0; i < num_aside; i++) KK_INDEX[aside_class[i]][aside_square[i]] = (i16)code++;
}

void initIndexTables() {
    if (index_tables_ready) return;
    for (int k = 0; k < 7; k++)
        for (int n = 0; n < 64; n++) {
            u64 f = 1, l = 1;
            for (int i = 0; i < k; i++) {
                f *= (u64)(n - i);
                l *= (u64)(i + 1);
            }
            binomial[k][n] = n < k ? 0 : f / l;
        }
    for (int k = 0; k < 6; k++) {
        u64 s = 0;
        for (int j = 0; j < 24; j++) {
            pawn_index[k][j] = s;
            int sq = (1 + j % 6) * 8 + j / 6;
            s += binomial[k][PAWN_TWIST[sq]];
            if ((j + 1) % 6 == 0) {
                pawn_factor[k][j / 6] = s;
                s = 0;
            }
        }
    }
    buildKkIndex();
    index_tables_ready = true;
}

u64 initEncoding(Encoding *enc, const TableEntry *entry, const u8 *bytes, int shift, int t, bool with_pawns) {
    int n_pieces = entry->num_pieces;
    const u8 *pc = with_pawns ? pawnCount(entry) : nullptr;
    int two_pawn_groups = with_pawns && pc[1] > 0;
    for (int i = 0; i < n_pieces; i++) {
        enc->codes[i] = (u8)((bytes[i + 1 + two_pawn_groups] >> shift) & 15);
        enc->group[i] = 0;
    }
    for (int i = n_pieces; i < TB_MAX_PIECES; i++) enc->codes[i] = enc->group[i] = 0;
    for (int i = 0; i < TB_MAX_PIECES; i++) enc->factor[i] = 0;
    int order = (bytes[0] >> shift) & 15;
    int order2 = two_pawn_groups ? (bytes[1] >> shift) & 15 : 15;

    int k = enc->group[0] = (u8)(with_pawns ? pc[0] : (kingsPaired(entry) ? 2 : 3));
    if (two_pawn_groups) {
        enc->group[k] = pc[1];
        k += enc->group[k];
    }
    for (int i = k; i < n_pieces; i += enc->group[i]) {
        int j = i;
        while (j < n_pieces && enc->codes[j] == enc->codes[i]) j++;
        enc->group[i] = (u8)(j - i);
    }

    // A file whose order values are out of range would leave a multiplier
    // unset and give indices beyond the table: such an order is refused.
    bool order_seen = false, order2_seen = !two_pawn_groups;
    u64 n = (u64)(64 - k), f = 1;
    for (int i = 0; k < n_pieces || i == order || i == order2; i++) {
        if (i == order) {
            enc->factor[0] = f;
            f *= with_pawns ? pawn_factor[enc->group[0] - 1][t] : (kingsPaired(entry) ? 462 : 31332);
            order_seen = true;
        } else if (i == order2) {
            enc->factor[enc->group[0]] = f;
            f *= binomial[enc->group[enc->group[0]]][48 - enc->group[0]];
            order2_seen = true;
        } else {
            enc->factor[k] = f;
            f *= binomial[enc->group[k]][n];
            n -= enc->group[k];
            k += enc->group[k];
        }
    }
    if (!order_seen || !order2_seen) return 0;
    enc->size = f;
    return f;
}

static inline void sortAscending(int *p, int from, int to) {
    for (int i = from + 1; i < to; i++)
        for (int j = i; j > from && p[j - 1] > p[j]; j--) {
            int tmp = p[j];
            p[j] = p[j - 1];
            p[j - 1] = tmp;
        }
}

// The groups after the leading pieces: each group's squares as a
// combination of the squares left free by the pieces before it.
static u64 encodeRemaining(int *p, const Encoding *enc, int n_pieces, int k, u64 idx) {
    while (k < n_pieces) {
        int e = k + enc->group[k];
        sortAscending(p, k, e);
        u64 s = 0;
        for (int i = k; i < e; i++) {
            int below = 0;
            for (int j = 0; j < k; j++) below += p[j] < p[i];
            s += binomial[i - k + 1][p[i] - below];
        }
        idx += s * enc->factor[k];
        k = e;
    }
    return idx;
}

u64 encodePieces(int *p, const Encoding *enc, const TableEntry *entry) {
    int n_pieces = entry->num_pieces;
    bool paired = kingsPaired(entry);
    if (p[0] & 4)
        for (int i = 0; i < n_pieces; i++) p[i] ^= 7;
    if (p[0] & 32)
        for (int i = 0; i < n_pieces; i++) p[i] ^= 56;
    for (int i = 0; i < n_pieces; i++) {
        int d = offDiag(p[i]);
        if (d == 0) continue;
        if (d > 0 && i < (paired ? 2 : 3))
            for (int j = 0; j < n_pieces; j++) p[j] = ((p[j] & 7) << 3) | (p[j] >> 3);
        break;
    }

    u64 idx;
    int k;
    if (paired) {
        idx = (u64)KK_INDEX[TRIANGLE[p[0]]][p[1]];
        k = 2;
    } else {
        int s1 = p[1] > p[0];
        int s2 = (p[2] > p[0]) + (p[2] > p[1]);
        k = 3;
        if (offDiag(p[0]))
            idx = (u64)TRIANGLE[p[0]] * 3906 + (u64)(p[1] - s1) * 62 + (u64)(p[2] - s2);
        else if (offDiag(p[1]))
            idx = 23436 + (u64)DIAG[p[0]] * 1736 + (u64)LOWER[p[1]] * 62 + (u64)(p[2] - s2);
        else if (offDiag(p[2]))
            idx = 30380 + (u64)DIAG[p[0]] * 196 + (u64)(DIAG[p[1]] - s1) * 28 + LOWER[p[2]];
        else
            idx = 31164 + (u64)DIAG[p[0]] * 42 + (u64)(DIAG[p[1]] - s1) * 6 + (u64)(DIAG[p[2]] - s2);
    }
    idx *= enc->factor[0];
    return encodeRemaining(p, enc, n_pieces, k, idx);
}

u64 encodePawns(int *p, const Encoding *enc, const TableEntry *entry) {
    int n_pieces = entry->num_pieces;
    const u8 *pc = pawnCount(entry);
    if (p[0] & 4)
        for (int i = 0; i < n_pieces; i++) p[i] ^= 7;
    int k = enc->group[0];
    for (int i = 1; i < k; i++)
        for (int j = i + 1; j < k; j++)
            if (PAWN_TWIST[p[i]] < PAWN_TWIST[p[j]]) {
                int tmp = p[i];
                p[i] = p[j];
                p[j] = tmp;
            }
    u64 idx = pawn_index[k - 1][FLAP[p[0]]];
    for (int i = 1; i < k; i++) idx += binomial[k - i][PAWN_TWIST[p[i]]];
    idx *= enc->factor[0];

    if (pc[1] > 0) {
        int e = k + pc[1];
        sortAscending(p, k, e);
        u64 s = 0;
        for (int i = k; i < e; i++) {
            int below = 0;
            for (int j = 0; j < k; j++) below += p[j] < p[i];
            s += binomial[i - k + 1][p[i] - below - 8];
        }
        idx += s * enc->factor[k];
        k = e;
    }
    return encodeRemaining(p, enc, n_pieces, k, idx);
}
