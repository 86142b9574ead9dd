#include "board/assert.h"

#include <cstdio>
#include <cstdlib>

#include "board/fen.h"

void appendLog(const char *text) {
    FILE *f = std::fopen(LOG_FILE, "a");
    if (!f) return;
    std::fputs(text, f);
    std::fclose(f);
}

const char *sourceFileName(const char *path) {
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

void assertionFailed(const char *condition, const char *file, int line, bool log) {
    // __FILE__ holds the path the build machine compiled from; the log and
    // the message show the file name only.
    const char *name = sourceFileName(file);
    if (log) {
        displayBoard();
        char text[512];
        std::snprintf(text, sizeof text, "Assertion error : %s (file %s, line %d)\n", condition, name, line);
        appendLog(text);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "corvix: %s:%d: Assertion `%s' failed.\n", name, line, condition);
    std::abort();
}
