#include "frontend/options.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/printable.h"
#include "frontend/commands.h"
#include "search/threads.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/tbprobe.h"

namespace {

// "setoption name Hash value N": a new table of N MB (the old one and its
// contents are released); sizes the table does not take are reported and
// replaced by the default there.
void applyHash(const OptionValue &value) {
    long long size_mb = value.number;
    // Out of the int range is as invalid as any other size outside 1..65536.
    if (size_mb > INT_MAX) size_mb = INT_MAX;
    if (size_mb < INT_MIN) size_mb = INT_MIN;
    ttCreate((int)size_mb);
}

// "setoption name SyzygyPath value P": the tables of the directories in P.
// The path ends at the first blank.
void applySyzygyPath(const OptionValue &value) {
    static char path[INPUT_BUFFER_SIZE];
    size_t len = std::strcspn(value.text, " ");
    if (len >= sizeof path) len = sizeof path - 1;
    std::memcpy(path, value.text, len);
    path[len] = '\0';
    initSyzygyAndReport(path);
}

// "setoption name Threads value N" (N within the option's range): N
// searching threads from the next "go" on (the helpers are started here, so
// they are ready before "readyok").
void applyThreads(const OptionValue &value) {
    int count = setThreadCount((int)value.number);
    if (count < value.number) std::printf("info string Only %d threads could be started\n", count);
}

void applyMultiPv(const OptionValue &value) { multipv_lines = (int)value.number; }

void applyPonder(const OptionValue &value) { ponder_enabled = value.number != 0; }

// The milliseconds every clock budget keeps back for the GUI and the line.
void applyMoveOverhead(const OptionValue &value) { move_overhead_ms = (u64)value.number; }

// "Clear Hash": an empty table, as after "ucinewgame" (the position stays).
void applyClearHash(const OptionValue &) { ttClear(); }

char lowerCase(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// A whole integer as "%lli" reads one (sign, then decimal, 0x hexadecimal or
// 0 octal), with nothing after it; out-of-range values are clamped.
bool parseInteger(const char *text, long long *number) {
    if (!*text || *text == ' ') return false;
    char *end;
    long long v = std::strtoll(text, &end, 0);
    if (end == text || *end) return false;
    *number = v;
    return true;
}

bool sameWord(const char *a, const char *b) {
    while (*a && lowerCase(*a) == lowerCase(*b)) a++, b++;
    return *a == '\0' && *b == '\0';
}

// "true" or "false" in any case.
bool parseCheck(const char *text, long long *number) {
    if (sameWord("true", text)) *number = 1;
    else if (sameWord("false", text)) *number = 0;
    else return false;
    return true;
}

constexpr const char *SETOPTION = "setoption name ";
constexpr const char *VALUE = " value ";
// Longest piece of a refused value quoted back.
constexpr int QUOTE_MAX = 64;

}  // namespace

int multipv_lines = 1;
bool ponder_enabled = false;

const UciOption UCI_OPTIONS[] = {
    {"Hash", OptionType::SPIN, "128", HASH_MIN_MB, HASH_MAX_MB, applyHash, false},
    {"Threads", OptionType::SPIN, "1", THREADS_MIN, THREADS_MAX, applyThreads, true},
    {"SyzygyPath", OptionType::STRING, "<empty>", 0, 0, applySyzygyPath, false},
    {"MultiPV", OptionType::SPIN, "1", 1, 256, applyMultiPv, true},
    {"Ponder", OptionType::CHECK, "false", 0, 0, applyPonder, false},
    {"Move Overhead", OptionType::SPIN, "25", 0, 5000, applyMoveOverhead, true},
    {"Clear Hash", OptionType::BUTTON, "", 0, 0, applyClearHash, false},
};
const int UCI_OPTION_COUNT = sizeof UCI_OPTIONS / sizeof UCI_OPTIONS[0];

const UciOption *findOption(const char *name, int len) {
    for (const UciOption &option : UCI_OPTIONS) {
        if ((int)std::strlen(option.name) != len) continue;
        int i = 0;
        while (i < len && lowerCase(option.name[i]) == lowerCase(name[i])) i++;
        if (i == len) return &option;
    }
    return nullptr;
}

void printOptions() {
    for (const UciOption &option : UCI_OPTIONS) {
        switch (option.type) {
        case OptionType::SPIN:
            std::printf("option name %s type spin default %s min %lld max %lld\n", option.name,
                        option.default_text, option.min, option.max);
            break;
        case OptionType::STRING:
            std::printf("option name %s type string default %s\n", option.name, option.default_text);
            break;
        case OptionType::CHECK:
            std::printf("option name %s type check default %s\n", option.name, option.default_text);
            break;
        case OptionType::BUTTON: std::printf("option name %s type button\n", option.name); break;
        }
    }
}

void setOptionCommand() {
    // The line begins with "setoption name " (the dispatch table sees to it).
    const char *name = input_buffer + std::strlen(SETOPTION);
    const char *value_at = std::strstr(name, VALUE);
    const int name_len = value_at ? (int)(value_at - name) : (int)std::strlen(name);
    const UciOption *option = findOption(name, name_len);
    if (option && option->type == OptionType::BUTTON) {
        option->apply(OptionValue{"", 0});
        return;
    }
    if (!option || !value_at) {
        printUnknownCommand();
        return;
    }
    OptionValue value = {value_at + std::strlen(VALUE), 0};
    char quote[QUOTE_MAX + 1];
    auto quoted = [&]() { return printableCopy(quote, sizeof quote, value.text, std::strlen(value.text)); };
    if (option->type == OptionType::SPIN && !parseInteger(value.text, &value.number)) {
        std::printf("info string Option %s needs a whole number, not '%s'\n", option->name, quoted());
        return;
    }
    if (option->type == OptionType::SPIN && option->refuse_out_of_range &&
        (value.number < option->min || value.number > option->max)) {
        std::printf("info string Option %s takes a number from %lld to %lld, not '%s'\n", option->name, option->min,
                    option->max, quoted());
        return;
    }
    if (option->type == OptionType::CHECK && !parseCheck(value.text, &value.number)) {
        std::printf("info string Option %s takes true or false, not '%s'\n", option->name, quoted());
        return;
    }
    option->apply(value);
}
