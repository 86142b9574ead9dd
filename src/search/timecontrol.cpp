#include "search/timecontrol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/console.h"
#include "board/fen.h"
#include "board/printable.h"
#include "search/iterate.h"
#include "search/searchinput.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

const i64 program_start = clockMs();

// An unsigned decimal number as "%llu" reads it (blanks, an optional sign,
// digits), except that a negative number gives 0 instead of wrapping round,
// and a number too large for 64 bits gives the largest value. False when no
// digit follows.
bool scanUnsigned(const char *text, u64 *value) {
    const char *p = text;
    while (*p == ' ' || *p == '\t') p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    u64 v = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; p++) {
        u64 digit = (u64)(*p - '0');
        if (v > (UINT64_MAX - digit) / 10) overflow = true;
        else v = v * 10 + digit;
    }
    *value = negative ? 0 : overflow ? UINT64_MAX : v;
    return true;
}

// The number after a prefix matched the way the scanning format "prefix%llu"
// matches it (a blank in the prefix stands for any run of blanks, none
// included); false when the prefix does not match or no number follows.
bool scanAfter(const char *text, const char *prefix_format, u64 *value) {
    int consumed = -1;
    char format[64];
    std::snprintf(format, sizeof format, "%s%%n", prefix_format);
    std::sscanf(text, format, &consumed);
    return consumed >= 0 && scanUnsigned(text + consumed, value);
}

// The value of a clock field: scanned from its first occurrence, 0 when the
// word is missing or no number follows it.
u64 clockField(const char *command, const char *word) {
    const char *found = std::strstr(command, word);
    u64 value = 0;
    if (found && !scanAfter(found, word, &value)) value = 0;
    return value;
}

}  // namespace

u64 move_overhead_ms = MOVE_OVERHEAD_DEFAULT_MS;

i64 searchClock() { return clockMs() - program_start; }

namespace {

// The clock arithmetic: t and inc are the mover's time and increment,
// movestogo the moves left in the period (at least 1).
void setClockLimits(u64 t, u64 inc, u64 movestogo) {
    search.time_left = t > 1000 ? t - 1000 : 0;
    u64 share = search.time_left / movestogo;
    u64 x = share > UINT64_MAX - inc ? UINT64_MAX : share + inc;
    u64 budget = x > move_overhead_ms ? x - move_overhead_ms : 0;
    // What the clock holds now is all there is until the move is made.
    u64 cap = t > move_overhead_ms ? t - move_overhead_ms : 0;
    search.time_budget = budget < cap ? budget : cap;
    search.limit_type = LIMIT_CLOCK;
}

// movestogo of a "movestogo N" at text: 40 when it is missing, unreadable or
// negative (a count of moves below 0 means nothing), 1 for 0.
u64 movesToGo(const char *text) {
    u64 value;
    if (!text || !scanAfter(text, "movestogo ", &value)) return 40;
    const char *p = text + std::strlen("movestogo");
    while (*p == ' ') p++;
    if (*p == '-') return 40;
    return value == 0 ? 1 : value;
}

i32 clampDepth(long long depth) { return depth < 1 ? 1 : depth > MAX_PLY ? MAX_PLY : (i32)depth; }

// The words of a "go" line, each with the number after it when it has one.
struct GoWords {
    bool depth = false, movetime = false, wtime = false, btime = false, winc = false, binc = false;
    bool nodes = false, mate = false, infinite = false, ponder = false, searchmoves = false;
    long long depth_value = 0, mate_value = 0;
    u64 movetime_value = 0, wtime_value = 0, btime_value = 0, winc_value = 0, binc_value = 0;
    u64 nodes_value = 0;
    const char *movestogo_at = nullptr;  // "movestogo N" in the line
    const char *searchmoves_at = nullptr;  // the text after "searchmoves "

    // Only the words today's forms know: the line keeps their rules. An
    // "infinite" with other words is an endless search with limits (the
    // forms alone would take it for a clock without time).
    bool onlyClassicWords(const char *command) const {
        return !nodes && !mate && !ponder && !searchmoves && (!infinite || std::strcmp(command, "go infinite") == 0);
    }
    bool moverTime(bool white) const { return white ? wtime : btime; }
};

const char *const GO_KEYWORDS[] = {"depth", "movetime", "wtime",  "btime",       "winc",   "binc", "movestogo",
                                   "nodes", "mate",     "infinite", "searchmoves", "ponder"};

bool isGoKeyword(const char *word, size_t len) {
    for (const char *k : GO_KEYWORDS)
        if (std::strlen(k) == len && std::strncmp(word, k, len) == 0) return true;
    return false;
}

// The words of the line, which is normalised (single blanks). A word whose
// number cannot be read counts as absent; unknown words are skipped.
GoWords readGoWords(const char *command) {
    GoWords w;
    const char *p = command;
    while (*p) {
        const char *word = p;
        size_t len = std::strcspn(word, " ");
        p = word + len;
        while (*p == ' ') p++;
        const char *next = p;  // the word after this one
        auto is = [&](const char *k) { return std::strlen(k) == len && std::strncmp(word, k, len) == 0; };
        u64 value;
        if (is("depth")) {
            char *end;
            long long d = std::strtoll(next, &end, 0);
            if (end != next && *next != ' ' && *next) w.depth = true, w.depth_value = d;
        } else if (is("movetime")) {
            if (scanUnsigned(next, &value)) w.movetime = true, w.movetime_value = value;
        } else if (is("wtime")) {
            if (scanUnsigned(next, &value)) w.wtime = true, w.wtime_value = value;
        } else if (is("btime")) {
            if (scanUnsigned(next, &value)) w.btime = true, w.btime_value = value;
        } else if (is("winc")) {
            if (scanUnsigned(next, &value)) w.winc = true, w.winc_value = value;
        } else if (is("binc")) {
            if (scanUnsigned(next, &value)) w.binc = true, w.binc_value = value;
        } else if (is("movestogo")) {
            w.movestogo_at = word;
        } else if (is("nodes")) {
            if (scanUnsigned(next, &value) && value > 0) w.nodes = true, w.nodes_value = value;
        } else if (is("mate")) {
            char *end;
            long long m = std::strtoll(next, &end, 10);
            if (end != next && m > 0) w.mate = true, w.mate_value = m;
        } else if (is("infinite")) {
            w.infinite = true;
        } else if (is("ponder")) {
            w.ponder = true;
        } else if (is("searchmoves")) {
            w.searchmoves = true;
            w.searchmoves_at = next;
        }
    }
    return w;
}

// "searchmoves m1 m2 ...": the moves up to the next keyword of "go" that
// are legal in curr_ply become the only root moves. The others are
// reported; when none is left the list is ignored.
void setSearchMoves(const char *text) {
    search.allowed_count = 0;
    bool any = false;
    const char *p = text;
    while (*p) {
        size_t len = std::strcspn(p, " ");
        if (isGoKeyword(p, len)) break;
        any = true;
        char move_text[16];
        Move m = 0;
        if (len < sizeof move_text) {
            std::memcpy(move_text, p, len);
            move_text[len] = '\0';
            m = parseMove(move_text);
        }
        if (m) {
            // A move named twice is kept once, so the list never holds more
            // than the position's legal moves.
            Move *end = search.allowed + search.allowed_count;
            if (std::find(search.allowed, end, m) == end) search.allowed[search.allowed_count++] = m;
        } else {
            char quote[64];
            std::printf("info string searchmoves: '%s' is not a legal move here, ignored\n",
                        printableCopy(quote, sizeof quote, p, len));
        }
        p += len;
        while (*p == ' ') p++;
    }
    if (any && search.allowed_count == 0)
        std::printf("info string searchmoves: no legal move named, every move is searched\n");
}

// Today's forms: "go", "go infinite", "go depth N", "go movetime N" right
// after "go", otherwise the clock. Returns which of them the line is.
enum ClassicForm { BARE, INFINITE, DEPTH, MOVETIME, CLOCK };

ClassicForm setClassicLimits(const char *command, bool white_to_move) {
    long long depth;
    u64 value;
    if (std::strcmp(command, "go") == 0) {
        search.limit_type = LIMIT_DEPTH;
        search.max_depth = 10;
        return BARE;
    }
    if (std::strcmp(command, "go infinite") == 0) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = INFINITE_BUDGET_MS;
        search.infinite = 1;
        return INFINITE;
    }
    if (std::sscanf(command, "go depth %lli", &depth) == 1) {
        // Iteration 1 is always searched and nothing goes deeper than MAX_PLY.
        search.limit_type = LIMIT_DEPTH;
        search.max_depth = clampDepth(depth);
        return DEPTH;
    }
    if (scanAfter(command, "go movetime ", &value)) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = value;
        return MOVETIME;
    }
    u64 wtime = clockField(command, "wtime ");
    u64 btime = clockField(command, "btime ");
    u64 winc = clockField(command, "winc ");
    u64 binc = clockField(command, "binc ");
    u64 movestogo = movesToGo(std::strstr(command, "movestogo "));
    setClockLimits(white_to_move ? wtime : btime, white_to_move ? winc : binc, movestogo);
    return CLOCK;
}

// The mover's clock of the words, when the line gives it.
void setClockOfWords(const GoWords &w, bool white) {
    setClockLimits(white ? w.wtime_value : w.btime_value, white ? w.winc_value : w.binc_value,
                   movesToGo(w.movestogo_at));
}

void capBudget(u64 ms) {
    if (ms < search.time_budget) search.time_budget = ms;
}

}  // namespace

void setGoLimits(const char *command, bool white_to_move) {
    search.limit_type = LIMIT_DEPTH;
    search.max_depth = 0;
    search.time_left = 0;
    search.time_budget = 0;
    search.infinite = 0;
    search.node_limit = 0;
    search.mate_limit = 0;
    search.pondering = 0;
    search.allowed_count = 0;
    search.report_nodes = 0;

    const GoWords w = readGoWords(command);
    if (w.onlyClassicWords(command)) {
        // Today's forms keep their rules; limits the form does not read but
        // the line gives as well are kept too, so that no limit is passed.
        switch (setClassicLimits(command, white_to_move)) {
        case BARE:
        case INFINITE: break;
        case DEPTH:
            if (w.moverTime(white_to_move)) {
                setClockOfWords(w, white_to_move);
                if (w.movetime) capBudget(w.movetime_value);
            } else if (w.movetime) {
                search.limit_type = LIMIT_TIME;
                search.time_budget = w.movetime_value;
            }
            break;
        case MOVETIME:
            if (w.depth) search.max_depth = clampDepth(w.depth_value);
            if (w.moverTime(white_to_move)) {
                setClockOfWords(w, white_to_move);
                capBudget(w.movetime_value);
            }
            break;
        case CLOCK:
            if (w.depth) search.max_depth = clampDepth(w.depth_value);
            if (w.movetime) capBudget(w.movetime_value);
            break;
        }
        return;
    }

    // A line with the words of the full protocol: every limit it gives holds.
    if (w.infinite) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = INFINITE_BUDGET_MS;
        search.infinite = 1;
    } else if (w.moverTime(white_to_move)) {
        setClockOfWords(w, white_to_move);
        if (w.movetime) capBudget(w.movetime_value);
    } else if (w.movetime) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = w.movetime_value;
    }
    if (w.depth) search.max_depth = clampDepth(w.depth_value);
    else if (search.limit_type == LIMIT_DEPTH && !w.infinite && !w.nodes && !w.mate) search.max_depth = 10;
    // A client that asks for the full protocol reads the work done from the
    // last "info" line.
    search.report_nodes = 1;
    if (w.nodes) search.node_limit = w.nodes_value;
    if (w.mate) search.mate_limit = w.mate_value > MAX_PLY ? MAX_PLY : (i32)w.mate_value;
    if (w.searchmoves) setSearchMoves(w.searchmoves_at);
    if (w.ponder) {
        // Until "ponderhit" the search has no clock; then the time limits of
        // this line hold, counted from that moment.
        search.hit_limit_type = search.limit_type;
        search.hit_infinite = search.infinite;
        search.hit_time_left = search.time_left;
        search.hit_time_budget = search.time_budget;
        search.limit_type = LIMIT_TIME;
        search.time_budget = INFINITE_BUDGET_MS;
        search.infinite = 1;
        search.pondering = 1;
    }
}

void ponderHit() {
    search.pondering = 0;
    search.limit_type = search.hit_limit_type;
    search.infinite = search.hit_infinite;
    search.time_left = search.hit_time_left;
    search.time_budget = search.hit_time_budget;
    search.elapsed = (u64)(searchClock() - search.start_time);
    search.time_origin = search.elapsed;
    // A clock that leaves no time to speak of gets the move found so far.
    if (search.limit_type == LIMIT_CLOCK && search.time_budget < MIN_CLOCK_BUDGET_MS) search.stop = 1;
}

namespace {

// Whether only a line of input can end the search: "go infinite", pondering,
// or a search with neither a depth, a node nor a time limit ("go mate N" in
// a position without such a mate).
bool endless() {
    return search.infinite || (search.limit_type == LIMIT_DEPTH && search.max_depth == 0 && search.node_limit == 0);
}

}  // namespace

u32 checkTimeAndInput() {
    // The clock is cheap to read: looking at it often keeps a search on time
    // even while its nodes are slow.
    if (search.nodes == 0 || search.nodes % CLOCK_INTERVAL != 0) return search.stop;
    // Only the main thread watches the clock and the input.
    if (!isMainThread()) return helperCheckpoint();
    search.elapsed = (u64)(searchClock() - search.start_time);
    if (search.limit_type != LIMIT_DEPTH && search.time_budget <= search.elapsed - search.time_origin)
        search.stop = 1;
    // A node limit counts the nodes of every thread, as the info lines do.
    if (search.node_limit && searchNodes() >= search.node_limit) search.stop = 1;
    if (search.nodes % CHECK_INTERVAL != 0) return search.stop;
    if (consoleInputPending()) readInputDuringSearch();
    // Once the input has ended no line can ever stop an endless search.
    else if (endless() && consoleInputEnded()) search.stop = 1;
    if (search.nodes % PROGRESS_INTERVAL == 0) {
        const u64 nodes = searchNodes();
        search.nps = search.elapsed ? nodes / search.elapsed * 1000 : 0;
        char line[256];
        size_t len = (size_t)std::snprintf(line, sizeof line, "info depth %i currmove ", search.depth);
        len = appendMoveText(line, len, search.currmove);
        std::snprintf(line + len, sizeof line - len,
                      " currmovenumber %i time %llu nodes %llu nps %llu hashfull %i\n",
                      (int)search.currmovenumber, (unsigned long long)search.elapsed,
                      (unsigned long long)nodes, (unsigned long long)search.nps, hashfull());
        std::fputs(line, stdout);
    }
    return search.stop;
}
