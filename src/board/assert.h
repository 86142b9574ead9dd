// Internal consistency checks, usable from every layer above the platform.
//
// ASSERT: for invariants of the running engine (making a move, the root
// search). On failure it shows the board, appends a line to corvix.log and
// then fails like the standard assertion.
// CHECK: the standard assertion alone, for tables built at start-up and for
// the tablebase code. Both stay active in release builds.
// Failures name the source file without its directories.
#pragma once

constexpr const char *LOG_FILE = "corvix.log";

[[noreturn]] void assertionFailed(const char *condition, const char *file, int line, bool log);

// Appends text to LOG_FILE; silently skipped when the file cannot be opened.
void appendLog(const char *text);

// The file name of a source path: what follows its last '/' or '\'.
const char *sourceFileName(const char *path);

#define ASSERT(cond) \
    do { \
        if (!(cond)) assertionFailed(#cond, __FILE__, __LINE__, true); \
    } while (0)

#define CHECK(cond) \
    do { \
        if (!(cond)) assertionFailed(#cond, __FILE__, __LINE__, false); \
    } while (0)
