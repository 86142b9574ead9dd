#include "frontend/assert.h"

#include <cstdio>
#include <cstdlib>

#include "board/fen.h"

void appendLog(const char *text) {
    FILE *f = std::fopen(LOG_FILE, "a");
    if (!f) return;
    std::fputs(text, f);
    std::fclose(f);
}

void assertionFailed(const char *condition, const char *file, int line, bool log) {
    if (log) {
        displayBoard();
        char text[512];
        std::snprintf(text, sizeof text, "Assertion error : %s (file %s, line %d)\n", condition, file, line);
        appendLog(text);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "corvix: %s:%d: Assertion `%s' failed.\n", file, line, condition);
    std::abort();
}
