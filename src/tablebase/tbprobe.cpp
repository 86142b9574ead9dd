// Probing: WDL and DTZ values of positions, assembled from table lookups and
// a small search over captures, en passant and zeroing moves; and the best
// move at the root.
#include "tablebase/tbprobe.h"

#include "board/assert.h"
#include "tablebase/tbinternal.h"

static const int WDL_TO_DTZ[5] = {-1, -101, 0, 101, 1};

// Alpha-beta over captures only, for positions without en passant rights.
static int probeCaptures(const TbPosition *pos, int alpha, int beta, int *success) {
    CHECK(pos->ep == 0);
    TbMove moves[TB_MAX_CAPTURES];
    TbMove *end = tbGenerateCaptures(pos, moves);
    for (TbMove *m = moves; m < end; m++) {
        if (!tbIsCapture(pos, *m)) continue;
        TbPosition next;
        if (!tbMakeMove(&next, pos, *m)) continue;
        int v = -probeCaptures(&next, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            if (v >= beta) return v;
            alpha = v;
        }
    }
    int v = probeTable(pos, 0, success, WDL);
    return alpha > v ? alpha : v;
}

int probeWdl(const TbPosition *pos, int *success) {
    *success = 1;
    int best_cap = -3, best_ep = -3;

    TbMove moves[TB_MAX_CAPTURES];
    TbMove *end = tbGenerateCaptures(pos, moves);
    for (TbMove *m = moves; m < end; m++) {
        bool ep = false;
        if (!tbIsCapture(pos, *m)) {
            if (!tbIsEnPassant(pos, *m)) continue;
            ep = true;
        }
        TbPosition next;
        if (!tbMakeMove(&next, pos, *m)) continue;
        int v = -probeCaptures(&next, -2, -best_cap, success);
        if (*success == 0) return 0;
        if (v > best_cap) {
            if (v == 2) {
                *success = 2;
                return 2;
            }
            if (ep) {
                if (v > best_ep) best_ep = v;
            } else {
                best_cap = v;
            }
        }
    }

    int v = probeTable(pos, 0, success, WDL);
    if (*success == 0) return 0;

    if (best_ep > best_cap) {
        if (best_ep > v) {
            *success = 2;
            return best_ep;
        }
        best_cap = best_ep;
    }
    if (best_cap >= v) {
        *success = 1 + (best_cap > 0);
        return best_cap;
    }

    // Only the en passant capture might keep this from being stalemate.
    if (best_ep > -3 && v == 0) {
        TbMove all[TB_MAX_MOVES];
        TbMove *all_end = tbGenerateMoves(pos, all);
        for (TbMove *m = all; m < all_end; m++) {
            if (tbIsEnPassant(pos, *m)) continue;
            TbPosition next;
            if (tbMakeMove(&next, pos, *m)) return v;
        }
        if (tbInCheck(pos)) return v;
        *success = 2;
        return best_ep;
    }
    return v;
}

static bool isPawnMove(const TbPosition *pos, TbMove move) {
    return (pos->pawns & tbUs(pos) & (1ULL << tbMoveFrom(move))) != 0;
}

int probeDtz(const TbPosition *pos, int *success) {
    int wdl = probeWdl(pos, success);
    if (*success == 0 || wdl == 0) return 0;
    if (*success == 2) return WDL_TO_DTZ[wdl + 2];

    TbMove moves[TB_MAX_MOVES];
    TbMove *end = nullptr;
    int best;
    if (wdl > 0) {
        // Legal moves only; a pawn move that keeps the win zeroes at once.
        TbMove all[TB_MAX_MOVES];
        TbMove *all_end = tbGenerateMoves(pos, all);
        end = moves;
        for (TbMove *m = all; m < all_end; m++) {
            TbPosition next;
            if (tbMakeMove(&next, pos, *m)) *end++ = *m;
        }
        for (TbMove *m = moves; m < end; m++) {
            if (!isPawnMove(pos, *m) || tbIsCapture(pos, *m) || tbIsEnPassant(pos, *m)) continue;
            TbPosition next;
            tbMakeMove(&next, pos, *m);
            int v = -probeWdl(&next, success);
            if (*success == 0) return 0;
            if (v == wdl) {
                CHECK(wdl < 3);
                return WDL_TO_DTZ[wdl + 2];
            }
        }
        int dtz = probeTable(pos, wdl, success, DTZ);
        if (*success >= 0) return WDL_TO_DTZ[wdl + 2] + dtz;
        best = 2147483647;
    } else {
        int dtz = probeTable(pos, wdl, success, DTZ);
        if (*success >= 0) return WDL_TO_DTZ[wdl + 2] - dtz;
        best = WDL_TO_DTZ[wdl + 2];
        end = tbGenerateMoves(pos, moves);
        CHECK(end != NULL);
    }

    // The table is stored for the other side to move: one ply of search
    // over the moves that do not zero the counter.
    for (TbMove *m = moves; m < end; m++) {
        if (tbIsCapture(pos, *m) || tbIsEnPassant(pos, *m) || isPawnMove(pos, *m)) continue;
        TbPosition next;
        if (!tbMakeMove(&next, pos, *m)) continue;
        int v = -probeDtz(&next, success);
        if (v == 1 && tbIsMate(&next)) {
            best = 1;
        } else if (wdl > 0) {
            if (v > 0 && v + 1 < best) best = v + 1;
        } else {
            if (v - 1 < best) best = v - 1;
        }
        if (*success == 0) return 0;
    }
    return best;
}

TbMove probeRoot(const TbPosition *pos, int *dtz_out) {
    int success;
    int dtz = probeDtz(pos, &success);
    if (!success) return 0;

    TbMove moves[TB_MAX_MOVES];
    int scores[TB_MAX_MOVES];
    TbMove *end = tbGenerateMoves(pos, moves);
    int n = (int)(end - moves);
    if (n == 0) {
        *dtz_out = dtz;
        if (dtz < 0) return TB_CHECKMATE_MOVE;
        if (dtz == 0) return TB_STALEMATE_MOVE;
        return 0;
    }

    int num_draw = 0;
    for (int i = 0; i < n; i++) {
        TbPosition next;
        if (!tbMakeMove(&next, pos, moves[i])) {
            scores[i] = SCORE_ILLEGAL;
            continue;
        }
        int v;
        if (dtz > 0 && tbIsMate(&next)) {
            v = 1;
        } else if (next.halfmove == 0) {
            int w = probeWdl(&next, &success);
            v = WDL_TO_DTZ[2 - w];
        } else {
            int d = probeDtz(&next, &success);
            v = d < 0 ? 1 - d : d == 0 ? 0 : -d - 1;
        }
        scores[i] = v;
        if (v == 0) num_draw++;
        if (success == 0) return 0;
    }

    *dtz_out = dtz;
    if (dtz > 0) {
        int best = SCORE_ILLEGAL, best_i = -1;
        for (int i = 0; i < n; i++)
            if (scores[i] > 0 && scores[i] < best) {
                best = scores[i];
                best_i = i;
            }
        return best_i >= 0 ? moves[best_i] : 0;
    }
    if (dtz < 0) {
        int best = 0, best_i = -1;
        for (int i = 0; i < n; i++)
            if (scores[i] < best) {
                best = scores[i];
                best_i = i;
            }
        return best_i >= 0 ? moves[best_i] : TB_CHECKMATE_MOVE;
    }
    if (num_draw == 0) return TB_STALEMATE_MOVE;
    u64 pick = materialKey(pos, pos->turn == 0) % (u64)num_draw;
    for (int i = 0; i < n; i++)
        if (scores[i] == 0 && pick-- == 0) return moves[i];
    return 0;
}

// Whether the position is one the tables can describe: one king of each
// colour, disjoint and complete piece sets, no pawn on the first or last
// rank, and the side not to move not in check.
static bool validPosition(const TbPosition *pos) {
    if (__builtin_popcountll(pos->kings) != 2 || __builtin_popcountll(pos->kings & pos->white) != 1 ||
        __builtin_popcountll(pos->kings & pos->black) != 1)
        return false;
    if (pos->white & pos->black) return false;
    const u64 sets[6] = {pos->kings, pos->queens, pos->rooks, pos->bishops, pos->knights, pos->pawns};
    u64 all = 0;
    for (u64 s : sets) {
        if (all & s) return false;
        all |= s;
    }
    if (all != (pos->white | pos->black)) return false;
    if (pos->pawns & 0xff000000000000ffULL) return false;
    if (pos->ep) {
        // An en passant square lies behind an enemy pawn that just made a
        // double step: third rank with black to move, sixth with white.
        if (pos->ep >= 64) return false;
        int ep = pos->ep;
        u64 pawn = 1ULL << (pos->turn ? ep - 8 : ep + 8);
        if ((ep >> 3) != (pos->turn ? 5 : 2) || ((pos->white | pos->black) & (1ULL << ep)) ||
            !(pawn & pos->pawns & tbThem(pos)))
            return false;
    }
    return tbIsLegal(pos);
}

uint32_t tbProbeRoot(const TbPosition *pos) {
    if (!validPosition(pos)) return TB_RESULT_FAILED;
    int dtz = 0;
    TbMove move = probeRoot(pos, &dtz);
    if (move == 0) return TB_RESULT_FAILED;
    if (move == TB_CHECKMATE_MOVE) return TB_RESULT_CHECKMATE;
    if (move == TB_STALEMATE_MOVE) return TB_RESULT_STALEMATE;

    uint32_t outcome;
    if (dtz > 0)
        outcome = dtz + pos->halfmove <= 100 ? TB_RESULT_WIN : TB_RESULT_CURSED_WIN;
    else if (dtz < 0)
        outcome = pos->halfmove - dtz <= 100 ? TB_RESULT_LOSS : TB_RESULT_BLESSED_LOSS;
    else
        outcome = TB_RESULT_DRAW;
    uint32_t abs_dtz = (uint32_t)(dtz < 0 ? -dtz : dtz);
    if (abs_dtz > 4095) abs_dtz = 4095;
    bool ep = tbIsEnPassant(pos, move);
    return outcome | (uint32_t)tbMoveTo(move) << 4 | (uint32_t)tbMoveFrom(move) << 10 |
           (uint32_t)tbMovePromotion(move) << 16 | (ep ? 1u << 19 : 0u) | abs_dtz << 20;
}
