#include "search/pvs.h"

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "eval/accumulator.h"
#include "eval/evaluate.h"
#include "board/assert.h"
#include "search/endgame.h"
#include "search/iterate.h"
#include "search/ordering.h"
#include "search/quiescence.h"
#include "search/tables.h"
#include "search/timecontrol.h"
#include "search/tt.h"

const int futility_margin[3] = {0, 200, 500};

// Moves selected ahead of the one being searched (their buckets prefetched).
constexpr int SELECT_AHEAD = 1;

namespace {

// Whether the side to move is checkmated. Fills the attack information and
// the move list of curr_ply.
bool sideToMoveMated() {
    updateAttacks();
    const Ply *p = curr_ply;
    if (!p->us->attacks[ATK_CHECKERS]) return false;
    generateMoves(GEN_ALL);
    return p->generated == 0;
}

}  // namespace

bool isDraw() {
    const Ply *p = curr_ply;
    if (popCount(p->occupancy) == 2) return true;
    // Checkmate ends the game before the fifty moves can be claimed, so the
    // move that mates is a win even when it completes them.
    if (p->halfmove > 99) return !sideToMoveMated();
    // Walk back over the reversible moves only: a record whose half-move
    // clock is not below the next one's was left by a capture or pawn move.
    u64 key = p->key;
    int matches = 0;
    for (int i = ply_count - 1; i >= 0; i--) {
        if (plies[i].halfmove >= plies[i + 1].halfmove) break;
        if (plies[i].key == key && ++matches == 2) return true;
    }
    return false;
}

namespace {

// Finds a move of curr_ply's list; -1 when it is not there.
inline int findMove(Move move) {
    const Ply *p = curr_ply;
    for (int i = 0; i < p->generated; i++)
        if (p->moves[i] == move) return i;
    return -1;
}

// Puts the table move in front of the list, marked with FLAG_HASH; false
// when the move is not in the list.
inline bool tableMoveFirst(Move move) {
    int i = findMove(move);
    if (i < 0) return false;
    Move *moves = curr_ply->moves;
    moves[i] = moves[0];
    moves[0] = move | FLAG_HASH;
    return true;
}

inline bool anyNoisy() {
    const Ply *p = curr_ply;
    for (int i = 0; i < p->generated; i++)
        if (p->moves[i] & ORDER_MASK) return true;
    return false;
}

inline int checkBits(Move m) { return (int)(m & CHECK_BITS); }

}  // namespace

int alphaBeta(int ply, int horizon, int alpha, int beta, int in_check) {
    if (ply >= horizon) return quiescence(ply, horizon, alpha, beta, in_check);

    const int rdepth = horizon - ply;
    const bool pv_node = beta - alpha > 1;

    search.nodes++;
    if (ply > search.seldepth) search.seldepth = ply;
    if (checkTimeAndInput()) return 0;
    // A root that is already drawn is searched all the same: the game may go
    // on, and it needs a move (the search reports the draw score).
    if (ply > 0 && isDraw()) return 0;
    // The network's sums of this position, computed now while the table
    // bucket asked for by makeSearchMove is on its way: nearly every position
    // searched is evaluated, or its children are.
    currentAccumulator();

    Ply *p = curr_ply;
    const u64 key = p->key;
    const int pieces = popCount(p->occupancy);

    // Table.
    Move tt_move = 0;
    int tt_bound = 0, tt_eval = 0;
    HashEntry e;
    if (ttProbe(key, pieces, &e)) {
        tt_move = e.move;
        tt_bound = entryBound(&e);
        tt_eval = e.eval;
        if (!pv_node && e.depth >= rdepth &&
            ((tt_bound == LOWERBOUND && tt_eval >= beta) || tt_bound == EXACT ||
             (tt_bound == UPPERBOUND && tt_eval <= alpha)))
            return tt_eval;
    }

    // Endgame knowledge below the root.
    if (ply > 0) {
        int score;
        if (probeEndgame(&score)) return score;
    }

    updateAttacks();
    generateMoves(GEN_ALL);
    if (p->generated == 0) return in_check ? ply - MATE : 0;
    if (ply == 0 && rootRestricted()) restrictRootMoves();

    // Pruning by the static value: never in PV nodes, in check, with a single
    // reply, with a mate score in the window, or in king-and-pawn endings.
    bool pruning = false;
    int eval = 0;
    if (!p->pawn_ending && !isMateScore(alpha) && !isMateScore(beta) && p->generated >= 2 && !in_check &&
        !pv_node) {
        if (tt_bound == LOWERBOUND) {
            int v = evaluate();
            eval = v > tt_eval ? v : tt_eval;
        } else if (tt_bound == EXACT) {
            eval = tt_eval;
        } else if (tt_bound == UPPERBOUND) {
            int v = evaluate();
            eval = v < tt_eval ? v : tt_eval;
        } else {
            eval = evaluate();
        }

        // Razoring: far below alpha with nothing but quiet moves.
        if (eval + 100 * rdepth <= alpha && !anyNoisy()) return eval + 100 * rdepth;
        // Reverse futility.
        if (eval - 200 * rdepth >= beta) return eval - 200 * rdepth;

        // Null move, never twice in a row.
        if (ply_count > 0 && plies[ply_count - 1].move != 0 && rdepth > 2 && eval > beta) {
            makeNullMove();
            ttPrefetch(curr_ply->key);
            int s = -alphaBeta(ply + 1, horizon - (3 + rdepth / 4), -beta, -alpha, 0);
            undoNullMove();
            if (s >= beta) return eval;
        }

        pruning = true;

        // ProbCut: a capture or promotion that beats beta by a margin in a
        // quiescence search and then in a reduced search.
        if (rdepth > 4) {
            const int t = beta + 200;
            for (int i = 0; i < p->generated; i++) {
                Move m = pickSimpleKey(i);
                if (!(m & ((7u << MOVE_SHIFT_CAPTURED) | (7u << MOVE_SHIFT_PROMOTION)))) break;
                makeSearchMove(m);
                int s = -quiescence(ply + 1, ply + 1, -t, -t + 1, checkBits(m));
                if (s >= t) {
                    s = -alphaBeta(ply + 1, horizon - 4, -t, -t + 1, checkBits(m));
                    undoMove();
                    if (s >= t) return s;
                } else {
                    undoMove();
                }
            }
        }
    }

    // First move: the table move, or in PV nodes without one the move left
    // by a shallower search of this node.
    if (tt_move != 0) {
        tableMoveFirst(tt_move);
    } else if (pv_node && rdepth > 2) {
        alphaBeta(ply, horizon - 2, alpha, beta, in_check);
        p->moves[0] &= ~FLAG_HASH;
        if (ttProbeMove(key, &e) && e.move) tableMoveFirst(e.move);
    }

    // Single-reply extension.
    const int child_horizon = p->generated == 1 && horizon <= 62 ? horizon + 1 : horizon;

    int best = -INF;
    Move best_move = 0;
    int quiets = 0;
    u64 root_mark = search.nodes;
    // Below the root the next moves are selected before the current one is
    // searched, so that their table buckets can be asked for meanwhile:
    // moves[0..selected) are selected, with history as it was at
    // selected_version. A selection stands unless history changed since; then
    // it is made again, and since no two moves tie, the move is the same as
    // if it were selected only then.
    int selected = 0;
    u32 selected_version = 0;
    MoveKeys keys;
    u64 selected_keys[SELECT_AHEAD + 1];  // keyAfter of the moves selected ahead, by index
    bool preselected = false;
    for (int i = 0; i < p->generated; i++) {
        const int a = best > alpha ? best : alpha;
        Move m;
        if (ply == 0) {
            m = pickRootMove(i);
            search.currmove = m;
            search.currmovenumber = (u32)(i + 1);
        } else if (i < selected && selected_version == history_version) {
            m = p->moves[i];
            preselected = true;
        } else {
            m = pickNextMove(i, keys);
            selected = i + 1;
            selected_version = history_version;
            preselected = false;
        }

        if (!(m & ORDER_MASK)) {
            quiets++;
            if (pruning && rdepth <= 2 && i > 0) {
                if (eval + futility_margin[rdepth] <= alpha) break;
                if (historyOf(m) < 0) break;
            }
        }
        int r = 0;
        if (quiets > 2 && pruning) r = reduction_table[rdepth][i < 63 ? i : 63];

        const u64 child_key = preselected ? selected_keys[i % (SELECT_AHEAD + 1)] : keyAfter(m);
        if (ply > 0)
            for (; selected < p->generated && selected <= i + SELECT_AHEAD; selected++) {
                const u64 k = keyAfter(pickNextMove(selected, keys));
                selected_keys[selected % (SELECT_AHEAD + 1)] = k;
                ttPrefetch(k);
            }
        makeSearchMove(m, child_key);
        const int c = checkBits(m);
        int s;
        if (i == 0) {
            s = -alphaBeta(ply + 1, child_horizon, -beta, -a, c);
        } else {
            s = -alphaBeta(ply + 1, child_horizon - r, -a - 1, -a, c);
            if (s > a && (r > 0 || pv_node)) s = -alphaBeta(ply + 1, child_horizon, -beta, -a, c);
        }
        undoMove();
        if (search.stop) return 0;

        bool cutoff = false;
        if (s > best) {
            best = s;
            best_move = m & ~FLAG_HASH;
            if (ply == 0) {
                search.score = s;
                search.bestmove = best_move;
            }
            if (s >= beta) {
                cutoff = true;
                historyCutoff(i, rdepth);
            }
        }
        if (cutoff) break;
        if (ply == 0) {
            root_nodes[m & 0xfff] = search.nodes - root_mark;
            root_mark = search.nodes;
        }
    }

    ttStore(key, pieces, rdepth, alpha, beta, best_move, best);

    if (ply == 0) {
        if (best_move == 0) {
            // No root move was searched: keep the move of the last iteration.
            const int bestEval = best;
            ASSERT(bestEval < alpha);
            ASSERT(search.bestmove);
        } else {
            search.score = best;
            search.bestmove = best_move;
        }
        printIterationLine(best, alpha, beta);
    }
    return best;
}
