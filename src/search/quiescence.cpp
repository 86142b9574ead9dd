#include "search/quiescence.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "eval/accumulator.h"
#include "eval/evaluate.h"
#include "board/assert.h"
#include "search/endgame.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/pvs.h"
#include "search/timecontrol.h"
#include "search/tt.h"

const int exchange_value[7] = {0, 100, 300, 300, 500, 900, 0};

namespace {

constexpr u64 BACK_RANKS = RANK_1_BB | RANK_8_BB;
constexpr u32 CAPTURED_MASK = 7u << MOVE_SHIFT_CAPTURED;
constexpr u32 PROMOTION_MASK = 7u << MOVE_SHIFT_PROMOTION;

// Pieces of both colours that attack a square along the empty-board lines
// (x-rays included), by knight jumps or as pawns.
struct Attackers {
    u64 side[2];
};

}  // namespace

bool see_sign(Move move) {
    const Ply *p = curr_ply;
    const int to = moveTo(move), from = moveFrom(move);
    const u64 to_bit = bit(to);

    const u64 kings = p->side[WHITE].pieces[KING] | p->side[BLACK].pieces[KING];
    if ((king_attacks[to] & kings) || p->ep) return false;

    Attackers att;
    u64 pawn_attackers = 0;
    for (int c = BLACK; c <= WHITE; c++) {
        const u64 *pc = p->side[c].pieces;
        u64 pawns = pawn_attacks[c ^ 1][to] & pc[PAWN];
        pawn_attackers |= pawns;
        att.side[c] = pawns | (knight_attacks[to] & pc[KNIGHT]) | (bishop_rays[to] & (pc[BISHOP] | pc[QUEEN])) |
                      (rook_rays[to] & (pc[ROOK] | pc[QUEEN]));
    }
    if (pawn_attackers && (to_bit & BACK_RANKS)) return false;
    if ((att.side[WHITE] & p->attack[WHITE][ATK_PINNED]) || (att.side[BLACK] & p->attack[BLACK][ATK_PINNED]))
        return false;

    const int mover = p->us->info->colour;
    u64 occupancy = p->occupancy & ~bit(from) & ~to_bit;
    att.side[mover] &= ~bit(from);
    int balance = exchange_value[moveCaptured(move)];
    int last = exchange_value[movePiece(move)];
    int acting = mover ^ 1;

    for (;;) {
        // Cheapest attacker of the acting side that really reaches the
        // square; sliders behind pieces already gone join in.
        const u64 *pc = p->side[acting].pieces;
        u64 candidates = att.side[acting] & occupancy;
        int best_sq = -1, best_value = 0;
        u64 diagonal = 0, straight = 0;
        bool have_diagonal = false, have_straight = false;
        while (candidates) {
            int sq = popLsb(candidates);
            u64 b = bit(sq);
            int value;
            if (pc[PAWN] & b) {
                value = 100;
            } else if (pc[KNIGHT] & b) {
                value = 300;
            } else if (pc[BISHOP] & b) {
                if (!have_diagonal) diagonal = bishopAttacks(to, occupancy), have_diagonal = true;
                if (!(diagonal & b)) continue;
                value = 300;
            } else if (pc[ROOK] & b) {
                if (!have_straight) straight = rookAttacks(to, occupancy), have_straight = true;
                if (!(straight & b)) continue;
                value = 500;
            } else if (pc[QUEEN] & b) {
                if (!have_diagonal) diagonal = bishopAttacks(to, occupancy), have_diagonal = true;
                if (!have_straight) straight = rookAttacks(to, occupancy), have_straight = true;
                if (!((diagonal | straight) & b)) continue;
                value = 900;
            } else if (pc[KING] & b) {
                value = 0;
            } else {
                const int attacker_type = 0;
                CHECK(attacker_type);
                value = 0;
            }
            if (best_sq < 0 || value < best_value) {
                best_sq = sq;
                best_value = value;
            }
        }
        if (best_sq < 0) return balance < 0;
        occupancy &= ~bit(best_sq);
        int next = acting == mover ? balance + last : balance - last;
        if (balance < 0 && next < 0) return true;
        if (balance > 0 && next > 0) return false;
        balance = next;
        last = best_value;
        acting ^= 1;
    }
}

bool tableMoveLegal(Move move) {
    const Ply *p = curr_ply;
    const Side *us = p->us, *them = p->them;
    const int colour = us->info->colour;
    const int from = moveFrom(move), to = moveTo(move);
    const int moved = moveMoved(move);
    if (moved < 1 || moved > 6) return false;
    const int type = 7 - moved;
    const int captured = moveCaptured(move), promotion = movePromotion(move);
    const u64 from_bit = bit(from), to_bit = bit(to);
    const u64 occupancy = p->occupancy;

    if (!(us->pieces[type] & from_bit)) return false;
    if (captured == 0) {
        if (occupancy & to_bit) return false;
    } else {
        if (captured > QUEEN || !(them->pieces[captured] & to_bit)) return false;
    }

    bool reaches;
    switch (type) {
    case PAWN: {
        const int push = colour == WHITE ? 8 : -8;
        const int start_rank = colour == WHITE ? 1 : 6;
        if (captured == 0 && to == from + push) reaches = true;
        else if (captured == 0 && to == from + 2 * push && rankOf(from) == start_rank &&
                 !(occupancy & bit(from + push)))
            reaches = true;
        else reaches = captured != 0 && (pawn_attacks[colour][from] & to_bit);
        // A pawn that reaches the last rank promotes, and only then.
        bool last_rank = (to_bit & BACK_RANKS) != 0;
        if (last_rank != (promotion >= KNIGHT && promotion <= QUEEN)) return false;
        break;
    }
    case KNIGHT: reaches = (knight_attacks[from] & to_bit) != 0; break;
    case BISHOP: reaches = (bishopAttacks(from, occupancy) & to_bit) != 0; break;
    case ROOK: reaches = (rookAttacks(from, occupancy) & to_bit) != 0; break;
    case QUEEN: reaches = (queenAttacks(from, occupancy) & to_bit) != 0; break;
    default: reaches = (king_attacks[from] & to_bit) != 0; break;
    }
    if (!reaches) return false;
    if (type != PAWN && promotion) return false;

    // The mover's king after the move: attacked by no piece of the other side
    // (the captured one gone), and not next to the other king.
    const u64 after = (occupancy & ~from_bit) | to_bit;
    const int king = type == KING ? to : us->king_sq;
    const u64 keep = ~to_bit;
    const u64 *t = them->pieces;
    u64 attackers = (pawn_attacks[colour][king] & t[PAWN] & keep) | (knight_attacks[king] & t[KNIGHT] & keep) |
                    (bishopAttacks(king, after) & (t[BISHOP] | t[QUEEN]) & keep) |
                    (rookAttacks(king, after) & (t[ROOK] | t[QUEEN]) & keep) | (king_attacks[king] & t[KING]);
    return attackers == 0;
}

int quiescence(int ply, int horizon, int alpha, int beta, int in_check) {
    search.nodes++;
    if (ply > MAX_PLY) return alpha;
    if (ply > search.seldepth) search.seldepth = ply;
    if (checkTimeAndInput()) return 0;
    if (isDraw()) return 0;
    // The static value comes before the table: it is needed unless the
    // table or the endgame rules decide (a few nodes in a hundred), and
    // computing it first gives the table bucket asked for by makeSearchMove
    // the time to arrive. In check the sums are still computed now, for the
    // moves that follow.
    const int stand = in_check ? (currentAccumulator(), 0) : evaluate();

    Ply *p = curr_ply;
    const u64 key = p->key;
    const int pieces = popCount(p->occupancy);
    const bool null_window = beta - alpha < 2;

    Move tt_move = 0;
    HashEntry e;
    if (ttProbe(key, pieces, &e)) {
        tt_move = e.move;
        if (null_window) {
            int bound = entryBound(&e);
            if ((bound == LOWERBOUND && e.eval >= beta) || bound == EXACT || (bound == UPPERBOUND && e.eval <= alpha))
                return e.eval;
        }
    }

    {
        int score;
        if (probeEndgame(&score)) return score;
    }

    int best, delta_base = 0, mode;
    if (!in_check) {
        if (stand >= beta) return stand;
        best = stand;
        delta_base = stand + 200;
        mode = ply == horizon ? GEN_NOISY : GEN_CAPTURES;
    } else {
        best = -INF;
        mode = GEN_ALL;
    }
    // Only a node that goes on to its moves needs the attack information
    // (the exchange test and the generator read it).
    updateAttacks();
    const bool pruning = !in_check && null_window && !p->pawn_ending && !isMateScore(alpha);

    if (tt_move && !tableMoveLegal(tt_move)) tt_move = 0;

    int searched = 0;
    Move best_move = 0;
    enum { GO_ON, CUTOFF, STOPPED };
    // Delta pruning and the exchange test, for plain captures only. Neither
    // depends on what the moves searched before returned.
    auto plainCapture = [&](Move m) {
        return pruning && (m & CAPTURED_MASK) && !(m & (CHECK_BITS | PROMOTION_MASK));
    };
    auto deltaPruned = [&](Move m) { return delta_base + exchange_value[moveCaptured(m)] < alpha; };
    // Whether a move is skipped by delta pruning or the exchange test.
    auto skipped = [&](Move m) {
        if (!plainCapture(m)) return false;
        if (deltaPruned(m)) return true;
        const int victim = exchange_value[moveCaptured(m)];
        return victim < exchange_value[movePiece(m)] && see_sign(m);
    };
    // Searches a move that is not skipped; child_key is its keyAfter.
    auto play = [&](Move m, u64 child_key) {
        makeSearchMove(m, child_key);
        const int a = best > alpha ? best : alpha;
        const int c = (int)(m & CHECK_BITS);
        int s;
        if (searched == 0) {
            s = -quiescence(ply + 1, horizon, -beta, -a, c);
        } else {
            s = -quiescence(ply + 1, horizon, -a - 1, -a, c);
            if (s > a && beta - alpha > 1) s = -quiescence(ply + 1, horizon, -beta, -a, c);
        }
        undoMove();
        searched++;
        if (search.stop) return STOPPED;
        if (s > best) {
            best = s;
            best_move = m;
            if (s >= beta) {
                ttStore(key, pieces, 0, alpha, beta, best_move, best);
                return CUTOFF;
            }
        }
        return GO_ON;
    };

    // The table move first: a cut-off by it saves generating the list.
    if (tt_move && !skipped(tt_move)) {
        int r = play(tt_move, keyAfter(tt_move));
        if (r == STOPPED) return 0;
        if (r == CUTOFF) return best;
    }

    generateMoves(mode);
    if (tt_move) {
        for (int i = 0; i < p->generated; i++)
            if (p->moves[i] == tt_move) {
                p->moves[i] = p->moves[--p->generated];
                break;
            }
    }
    // Moves are selected, and their table buckets asked for, ahead of their
    // search: up to eight at once at the start, whose address translations
    // (costly with a large table) then overlap instead of following one
    // another, and then each move seven ahead. The order is fixed (no history
    // here), so selecting ahead selects the same moves. Moves that are
    // skipped are known when selected and never asked for.
    constexpr int AHEAD = 7;
    Move ahead_move[AHEAD + 1];  // 0: skipped
    u64 ahead_key[AHEAD + 1];
    int selected = 0;
    for (int index = 0; index < p->generated; index++) {
        CHECK(index >= 0 && index < curr_ply->generated);
        for (; selected < p->generated && selected <= index + AHEAD; selected++) {
            const Move m = pickSimpleKey(selected);
            const int slot = selected % (AHEAD + 1);
            ahead_move[slot] = skipped(m) ? 0 : m;
            if (ahead_move[slot]) {
                ahead_key[slot] = keyAfter(m);
                ttPrefetch(ahead_key[slot]);
            }
        }
        const int slot = index % (AHEAD + 1);
        if (!ahead_move[slot]) continue;
        int r = play(ahead_move[slot], ahead_key[slot]);
        if (r == STOPPED) return 0;
        if (r == CUTOFF) return best;
    }

    if (searched == 0) return in_check ? ply - MATE : best;
    ttStore(key, pieces, 0, alpha, beta, best_move, best);
    return best;
}
