#include "search/timecontrol.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/console.h"
#include "search/iterate.h"
#include "search/thread_state.h"
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

void setGoLimits(const char *command, bool white_to_move) {
    search.limit_type = LIMIT_DEPTH;
    search.max_depth = 0;
    search.time_left = 0;
    search.time_budget = 0;
    search.infinite = 0;

    long long depth;
    u64 value;
    if (std::strcmp(command, "go") == 0) {
        search.limit_type = LIMIT_DEPTH;
        search.max_depth = 10;
    } else if (std::strcmp(command, "go infinite") == 0) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = INFINITE_BUDGET_MS;
        search.infinite = 1;
    } else if (std::sscanf(command, "go depth %lli", &depth) == 1) {
        // Iteration 1 is always searched and nothing goes deeper than MAX_PLY.
        search.limit_type = LIMIT_DEPTH;
        search.max_depth = depth < 1 ? 1 : depth > MAX_PLY ? MAX_PLY : (i32)depth;
    } else if (scanAfter(command, "go movetime ", &value)) {
        search.limit_type = LIMIT_TIME;
        search.time_budget = value;
    } else {
        u64 wtime = clockField(command, "wtime ");
        u64 btime = clockField(command, "btime ");
        u64 winc = clockField(command, "winc ");
        u64 binc = clockField(command, "binc ");
        u64 movestogo = 40;
        const char *found = std::strstr(command, "movestogo ");
        if (found && scanAfter(found, "movestogo ", &movestogo)) {
            if (movestogo == 0) movestogo = 1;
        } else {
            movestogo = 40;
        }
        u64 t = white_to_move ? wtime : btime;
        u64 inc = white_to_move ? winc : binc;
        search.time_left = t > 1000 ? t - 1000 : 0;
        u64 share = search.time_left / movestogo;
        u64 x = share > UINT64_MAX - inc ? UINT64_MAX : share + inc;
        u64 budget = x > move_overhead_ms ? x - move_overhead_ms : 0;
        // What the clock holds now is all there is until the move is made.
        u64 cap = t > move_overhead_ms ? t - move_overhead_ms : 0;
        search.time_budget = budget < cap ? budget : cap;
        search.limit_type = LIMIT_CLOCK;
    }
}

u32 checkTimeAndInput() {
    // The clock is cheap to read: looking at it often keeps a search on time
    // even while its nodes are slow.
    if (search.nodes == 0 || search.nodes % CLOCK_INTERVAL != 0) return search.stop;
    // Only the main thread watches the clock and the input.
    if (!isMainThread()) return helperCheckpoint();
    search.elapsed = (u64)(searchClock() - search.start_time);
    if (search.limit_type != LIMIT_DEPTH && search.time_budget <= search.elapsed) search.stop = 1;
    if (search.nodes % CHECK_INTERVAL != 0) return search.stop;
    if (consoleInputPending()) search.stop = 1;
    // Once the input has ended no line can ever stop an endless search.
    else if (search.infinite && consoleInputEnded()) search.stop = 1;
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
