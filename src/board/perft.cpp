// Move-path counting (perft) with a divide line per root move.
#include "board/perft.h"

#include <cstdio>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"

u64 perftDivide(int ply, int last) {
    updateAttacks();
    generateMoves(GEN_ALL);
    Ply *p = curr_ply;
    // The moves of the last level are counted, not made.
    if (ply == last) return (u64)p->generated;
    if (p->generated == 0) return 0;

    u64 total = 0;
    for (int i = 0; i < p->generated; i++) {
        Move move = p->moves[i];
        makeMove(move);
        u64 count = perftDivide(ply + 1, last);
        undoMove();
        total += count;
        if (ply == 0) {
            int from = moveFrom(move), to = moveTo(move);
            std::printf("%c%c%c%c", "abcdefgh"[fileOf(from)], "12345678"[rankOf(from)], "abcdefgh"[fileOf(to)],
                        "12345678"[rankOf(to)]);
            if (movePromotion(move)) std::putchar("??nbrq?"[movePromotion(move)]);
            std::printf(": %llu\n", (unsigned long long)count);
        }
    }
    return total;
}
