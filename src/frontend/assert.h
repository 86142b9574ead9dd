// Internal consistency checks.
//
// ASSERT: for invariants of the running engine (making a move, the root
// search). On failure it shows the board, appends a line to corvix.log and
// then fails like the standard assertion.
// CHECK: the standard assertion alone, for tables built at start-up and for
// the tablebase code. Both stay active in release builds.
#pragma once

constexpr const char *LOG_FILE = "corvix.log";

[[noreturn]] void assertionFailed(const char *condition, const char *file, int line, bool log);

// Appends text to LOG_FILE; silently skipped when the file cannot be opened.
void appendLog(const char *text);

#define ASSERT(cond) \
    do { \
        if (!(cond)) assertionFailed(#cond, __FILE__, __LINE__, true); \
    } while (0)

#define CHECK(cond) \
    do { \
        if (!(cond)) assertionFailed(#cond, __FILE__, __LINE__, false); \
    } while (0)
