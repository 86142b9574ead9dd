// Fixed attack and line tables, built once at start-up.
#include "board/attacks.h"

u64 king_attacks[64];
u64 knight_attacks[64];
u64 pawn_attacks[2][64];
u64 front_span[2][64];
u64 passed_span[2][64];
u64 rook_rays[64];
u64 bishop_rays[64];
u64 queen_rays[64];
u64 line_id[64];
u64 between_bb[64][64];

namespace {

bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

// Squares reached from sq by the given (file, rank) steps, one step each.
u64 leaps(int sq, const int (*steps)[2], int count) {
    u64 set = 0;
    for (int i = 0; i < count; i++) {
        int f = fileOf(sq) + steps[i][0], r = rankOf(sq) + steps[i][1];
        if (onBoard(f, r)) set |= bit(r * 8 + f);
    }
    return set;
}

// Squares from sq in one direction up to the edge of the board.
u64 ray(int sq, int df, int dr) {
    u64 set = 0;
    int f = fileOf(sq) + df, r = rankOf(sq) + dr;
    while (onBoard(f, r)) {
        set |= bit(r * 8 + f);
        f += df;
        r += dr;
    }
    return set;
}

}  // namespace

void initAttackTables() {
    static const int KING_STEPS[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    static const int KNIGHT_STEPS[8][2] = {{-1, -2}, {1, -2}, {-2, -1}, {2, -1}, {-2, 1}, {2, 1}, {-1, 2}, {1, 2}};
    static const int WHITE_PAWN_STEPS[2][2] = {{-1, 1}, {1, 1}};
    static const int BLACK_PAWN_STEPS[2][2] = {{-1, -1}, {1, -1}};
    static const int DIRS[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};

    for (int sq = 0; sq < 64; sq++) {
        int file = fileOf(sq), rank = rankOf(sq);
        king_attacks[sq] = leaps(sq, KING_STEPS, 8);
        knight_attacks[sq] = leaps(sq, KNIGHT_STEPS, 8);
        pawn_attacks[WHITE][sq] = leaps(sq, WHITE_PAWN_STEPS, 2);
        pawn_attacks[BLACK][sq] = leaps(sq, BLACK_PAWN_STEPS, 2);

        front_span[WHITE][sq] = ray(sq, 0, 1);
        front_span[BLACK][sq] = ray(sq, 0, -1);
        for (int c = BLACK; c <= WHITE; c++) {
            u64 span = front_span[c][sq];
            passed_span[c][sq] = span | ((span & ~FILE_A_BB) >> 1) | ((span & ~FILE_H_BB) << 1);
        }

        rook_rays[sq] = ray(sq, 1, 0) | ray(sq, -1, 0) | ray(sq, 0, 1) | ray(sq, 0, -1);
        bishop_rays[sq] = ray(sq, 1, 1) | ray(sq, -1, -1) | ray(sq, 1, -1) | ray(sq, -1, 1);
        queen_rays[sq] = rook_rays[sq] | bishop_rays[sq];

        line_id[sq] = bit(rank) | bit(8 + file) | bit(23 - file + rank) | bit(32 + file + rank);
    }

    for (int a = 0; a < 64; a++) {
        for (int b = 0; b < 64; b++) between_bb[a][b] = 0;
        for (const auto &d : DIRS) {
            u64 walked = 0;
            int f = fileOf(a) + d[0], r = rankOf(a) + d[1];
            while (onBoard(f, r)) {
                int sq = r * 8 + f;
                between_bb[a][sq] = walked;
                walked |= bit(sq);
                f += d[0];
                r += d[1];
            }
        }
    }
}
