#include "search/iterate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "search/endgame.h"
#include "search/pvs.h"
#include "search/searchinput.h"
#include "search/threads.h"
#include "search/timecontrol.h"
#include "search/tt.h"

namespace {

constexpr size_t LINE_SIZE = 4096;
char line[LINE_SIZE];
// Room an iteration line keeps behind its principal variation for the rest
// ("time %llu nodes %llu nps %llu hashfull %i\n" with the widest numbers).
constexpr size_t LINE_TAIL_ROOM = 128;
// Widest move in the line: "e7e8q" and a blank.
constexpr size_t MOVE_TEXT_ROOM = 6;

// Highest record index the principal-variation walk may make a move into.
constexpr int PV_LAST_RECORD = PLY_STACK_SIZE - 1;

// The root is already drawn (fifty moves, repetition, bare kings): it is
// searched for a move, and every score shown is the draw score.
bool root_drawn = false;

int shownScore(int score) { return root_drawn ? 0 : score; }

size_t appendText(char *buf, size_t len, const char *text) {
    size_t n = std::strlen(text);
    if (len + n >= LINE_SIZE) n = LINE_SIZE - 1 - len;
    std::memcpy(buf + len, text, n);
    buf[len + n] = '\0';
    return len + n;
}

// The generated word of a table move when it is legal in curr_ply, else 0.
// Runs the move generator on curr_ply, which the walk owns (it stands above
// the node that printed).
Move legalTableMove(Move move) {
    updateAttacks();
    generateMoves(GEN_ALL);
    // The fields makeMove reads: squares, mover, captured piece, promotion.
    constexpr u32 PLAYED_FIELDS = 0x07707fffu;
    const Ply *p = curr_ply;
    for (int i = 0; i < p->generated; i++) {
        Move m = p->moves[i];
        if ((m & PLAYED_FIELDS) == (move & PLAYED_FIELDS)) return m;
    }
    return 0;
}

// printPv into the line buffer. The walk ends at a drawn position, except
// at the root, which is searched even when it is drawn.
size_t appendPv(size_t len, Move move, bool at_root = false) {
    if (!at_root && isDraw()) return len;
    if (!move) return len;
    // A table chain can be longer than the line: it shows what fits.
    if (len + MOVE_TEXT_ROOM + LINE_TAIL_ROOM > LINE_SIZE) return len;
    len = appendMoveText(line, len, move);
    len = appendText(line, len, " ");
    if (ply_count + 1 > PV_LAST_RECORD) return len;
    makeMove(move);
    HashEntry e;
    Move next = ttProbeMove(curr_ply->key, &e) ? e.move : 0;
    // A key collision could offer a move that is not legal here, and the
    // stack must keep a record for the move after it.
    if (next && (ply_count + 1 > PV_LAST_RECORD || !(next = legalTableMove(next)))) next = 0;
    len = appendPv(len, next);
    undoMove();
    return len;
}

// The move the principal variation expects in reply to move (the table's
// move of the position after it, when it is legal there), or 0.
Move expectedReply(Move move) {
    if (!move || ply_count + 2 > PV_LAST_RECORD) return 0;
    makeMove(move);
    HashEntry e;
    Move reply = ttProbeMove(curr_ply->key, &e) && e.move ? legalTableMove(e.move) : 0;
    undoMove();
    return reply & ~FLAG_HASH;
}

// "bestmove", once an endless search has been told to end; with the
// expected reply when the client ponders.
void printBestmove(Move move) {
    waitForEndOfSearch();
    size_t len = appendText(line, 0, "bestmove ");
    len = appendMoveText(line, len, move);
    if (search.ponder_suffix) {
        if (Move reply = expectedReply(move)) {
            len = appendText(line, len, " ponder ");
            len = appendMoveText(line, len, reply);
        }
    }
    appendText(line, len, "\n");
    std::fputs(line, stdout);
}

// The "info" line of a search's result: the score, and for the clients of
// the full protocol the work done.
void printResultLine(int score) {
    char text[64];
    if (!search.report_nodes) {
        std::printf("info %s\n", scoreText(score, text));
        return;
    }
    search.elapsed = (u64)(searchClock() - search.start_time);
    const u64 nodes = searchNodes();
    search.nps = search.elapsed ? nodes / search.elapsed * 1000 : 0;
    std::printf("info %snodes %llu time %llu nps %llu\n", scoreText(score, text), (unsigned long long)nodes,
                (unsigned long long)search.elapsed, (unsigned long long)search.nps);
}

void finalLines() {
    const int score = shownScore(search.score);
    if (isMateScore(score))
        std::printf("info string Mate in %i half-moves !\n", score < 0 ? score + MATE : MATE - score);
    printResultLine(score);
    printBestmove(search.bestmove);
}

// MultiPV: the lines of the iteration in progress, recorded as their root
// searches complete and printed together, best first.
struct ReportedLine {
    int score;         // as found
    Move move;         // the root move of the line
    i32 seldepth;
    std::string text;  // from "score" to the end of the principal variation
};
ReportedLine reported[MAX_MOVES];
int reported_slot = 0;  // where the root search in progress records its line

bool multiPv() { return search.multipv > 1; }

void printReportedLines(int count) {
    search.elapsed = (u64)(searchClock() - search.start_time);
    const u64 nodes = searchNodes();
    search.nps = search.elapsed ? nodes / search.elapsed * 1000 : 0;
    for (int i = 0; i < count; i++) {
        size_t len = (size_t)std::snprintf(line, LINE_SIZE, "info depth %i seldepth %i multipv %i ", search.depth,
                                           reported[i].seldepth, i + 1);
        len = appendText(line, len, reported[i].text.c_str());
        char tail[LINE_TAIL_ROOM];
        std::snprintf(tail, sizeof tail, "time %llu nodes %llu nps %llu hashfull %i\n",
                      (unsigned long long)search.elapsed, (unsigned long long)nodes,
                      (unsigned long long)search.nps, hashfull());
        appendText(line, len, tail);
        std::fputs(line, stdout);
    }
}

// After the best line of depth d: the next best moves, each searched with a
// full window without the moves reported before it, then every line of the
// iteration. The best of them (the first line, unless a later one scored
// higher in its own search) gives bestmove and score.
void searchOtherLines(int d, int in_check, int lines) {
    const Move best_move = search.bestmove;
    const int best_score = search.score;
    int done = 1;
    search.excluded_count = 0;
    search.excluded[search.excluded_count++] = best_move;
    for (int i = 1; i < lines; i++) {
        reported_slot = i;
        search.seldepth = d;
        alphaBeta(0, d, -INF, INF, in_check);
        if (search.stop) break;
        search.excluded[search.excluded_count++] = search.bestmove;
        done++;
    }
    search.excluded_count = 0;
    reported_slot = 0;
    std::stable_sort(reported, reported + done,
                     [](const ReportedLine &a, const ReportedLine &b) { return a.score > b.score; });
    search.bestmove = done > 1 ? reported[0].move : best_move;
    search.score = done > 1 ? reported[0].score : best_score;
    // The root's table entry names the best line again, for the next
    // iteration's order and the principal variations.
    ttStore(curr_ply->key, popCount(curr_ply->occupancy), d, -INF, INF, search.bestmove, search.score);
    printReportedLines(done);
}

// Whether a mate score ends the search: always, unless "go mate N" asks for
// a mate in at most N moves and this is not one.
bool mateEndsSearch(int score) {
    if (!isMateScore(score)) return false;
    if (!search.mate_limit) return true;
    return score > 0 && (MATE + 1 - score) / 2 <= search.mate_limit;
}

}  // namespace

size_t appendMoveText(char *buf, size_t len, Move move) {
    static const char FILES[] = "abcdefgh", RANKS[] = "12345678", PROMOTIONS[] = "??nbrq?";
    if (!move) {
        std::memcpy(buf + len, "0000", 5);
        return len + 4;
    }
    int from = moveFrom(move), to = moveTo(move);
    buf[len++] = FILES[fileOf(from)];
    buf[len++] = RANKS[rankOf(from)];
    buf[len++] = FILES[fileOf(to)];
    buf[len++] = RANKS[rankOf(to)];
    if (movePromotion(move)) buf[len++] = PROMOTIONS[movePromotion(move)];
    buf[len] = '\0';
    return len;
}

char *scoreText(int score, char *buf) {
    if (!isMateScore(score)) std::sprintf(buf, "score cp %i ", score);
    else if (score > 0) std::sprintf(buf, "score mate %i ", (MATE + 1 - score) / 2);
    else std::sprintf(buf, "score mate %i ", -((score + MATE + 1) / 2));
    return buf;
}

void printPv(Move move) {
    appendPv(0, move, true);
    std::fputs(line, stdout);
}

void printIterationLine(int best, int alpha, int beta) {
    // Helper threads search without a word.
    if (!isMainThread()) return;
    search.elapsed = (u64)(searchClock() - search.start_time);
    const u64 nodes = searchNodes();
    search.nps = search.elapsed ? nodes / search.elapsed * 1000 : 0;
    char text[64];
    // A MultiPV line leaves room for its number in front.
    constexpr size_t MULTIPV_ROOM = 64;
    size_t len = multiPv() ? MULTIPV_ROOM
                           : (size_t)std::snprintf(line, LINE_SIZE, "info depth %i seldepth %i ", search.depth,
                                                   search.seldepth);
    const size_t text_start = len;
    len = appendText(line, len, scoreText(shownScore(best), text));
    if (!root_drawn) {
        if (best <= alpha) len = appendText(line, len, "upperbound ");
        else if (best >= beta) len = appendText(line, len, "lowerbound ");
    }
    len = appendText(line, len, "pv ");
    len = appendPv(len, search.bestmove, true);
    if (multiPv()) {
        ReportedLine &r = reported[reported_slot];
        r.score = best;
        r.move = search.bestmove;
        r.seldepth = search.seldepth;
        r.text.assign(line + text_start, len - text_start);
        return;
    }
    std::snprintf(line + len, LINE_SIZE - len, "time %llu nodes %llu nps %llu hashfull %i\n",
                  (unsigned long long)search.elapsed, (unsigned long long)nodes,
                  (unsigned long long)search.nps, hashfull());
    std::fputs(line, stdout);
}

void restrictRootMoves() {
    // The fields that tell two moves of a position apart.
    constexpr u32 PLAYED_FIELDS = 0x07707fffu;
    Ply *p = curr_ply;
    auto listed = [](Move m, const Move *list, int count) {
        for (int i = 0; i < count; i++)
            if ((list[i] & PLAYED_FIELDS) == (m & PLAYED_FIELDS)) return true;
        return false;
    };
    int kept = 0;
    for (int i = 0; i < p->generated; i++) {
        Move m = p->moves[i];
        if (search.allowed_count && !listed(m, search.allowed, search.allowed_count)) continue;
        if (listed(m, search.excluded, search.excluded_count)) continue;
        p->moves[kept++] = m;
    }
    p->generated = kept;
}

void startSearch() {
    search.start_time = searchClock();
    // The search writes up to MAX_PLY + 1 records above the root.
    compactHistory(SEARCH_STACK_RESERVE);
    // A drawn root is announced, but a GUI that neither claims nor
    // adjudicates the draw still needs a legal move; mate and stalemate are
    // answered by iterativeDeepening.
    updateAttacks();
    generateMoves(GEN_ALL);
    root_drawn = curr_ply->generated > 0 && isDraw();
    if (root_drawn) std::printf("info string Game over (draw) !\n");
    iterativeDeepening();
    root_drawn = false;
}

void iterativeDeepening() {
    Ply *root = curr_ply;
    updateAttacks();
    generateMoves(GEN_ALL);
    const int in_check = root->us->attacks[ATK_CHECKERS] != 0;

    if (root->generated == 0) {
        std::printf("info string Game over (%s) !\n", in_check ? "mate" : "pat");
        printBestmove(0);
        return;
    }
    if (rootRestricted()) restrictRootMoves();
    if (root->generated == 1 && search.limit_type == LIMIT_CLOCK) {
        printBestmove(root->moves[0]);
        return;
    }
    {
        Move move;
        int score;
        if (probeRootTablebase(&move, &score)) {
            search.bestmove = move;
            search.score = score;
            printResultLine(shownScore(score));
            printBestmove(move);
            return;
        }
    }

    root_pieces = popCount(root->occupancy);
    startHelpers();

    const int lines = multiPv() ? std::min((int)search.multipv, root->generated) : 1;
    reported_slot = 0;

    search.depth = 1;
    search.seldepth = 1;
    int r = alphaBeta(0, 1, -INF, INF, in_check);
    if (multiPv() && !search.stop) searchOtherLines(1, in_check, lines);
    search.depth = 2;

    // A clock that leaves no time to speak of gets the depth-1 answer.
    const bool no_time = search.limit_type == LIMIT_CLOCK && search.time_budget < MIN_CLOCK_BUDGET_MS;
    if (!mateEndsSearch(r) && !no_time) {
        int alpha = -INF, beta = INF, fails = 0;
        for (;;) {
            const int d = search.depth;
            if (search.max_depth && search.max_depth < d) break;
            search.seldepth = d;
            r = alphaBeta(0, d, alpha, beta, in_check);
            if (search.stop) break;
            if (alpha < r && r < beta) {
                if (multiPv()) {
                    searchOtherLines(d, in_check, lines);
                    if (search.stop) break;
                }
                search.depth = d + 1;
                alpha = (r > -59990 ? r : -59990) - 10;
                beta = (r < 59990 ? r : 59990) + 10;
                fails = 0;
                search.elapsed = (u64)(searchClock() - search.start_time);
                if (search.limit_type == LIMIT_CLOCK && 2 * (search.elapsed - search.time_origin) > search.time_budget)
                    break;
                if (d + 1 > MAX_PLY || mateEndsSearch(r)) break;
            } else {
                fails++;
                if (fails > 999) {
                    alpha = -INF;
                    beta = INF;
                } else {
                    alpha = r - 10 * fails > -INF ? r - 10 * fails : -INF;
                    beta = r + 10 * fails < INF ? r + 10 * fails : INF;
                }
            }
        }
    }

    // Stopped before any root move was completed: the first move of the
    // root list is still a legal answer.
    if (!search.bestmove) search.bestmove = root->moves[0] & ~FLAG_HASH;
    // The move is the main thread's; no helper may still be searching when
    // it is announced.
    stopHelpers();
    finalLines();
}
