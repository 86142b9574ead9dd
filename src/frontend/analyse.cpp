#include "frontend/analyse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/printable.h"
#include "board/types.h"
#include "eval/evaluate.h"

namespace {

// Summary printed every 250000 counted lines and at the end.
void printSummary(u64 samples, u64 perfect, u64 sum, i32 min, i32 max) {
    std::printf("Samples = %llu, perfect = %llu, sum = %lf, min = %lf, max = %lf\n", (unsigned long long)samples,
                (unsigned long long)perfect, (double)sum * 0.01, (double)min * 0.01, (double)max * 0.01);
}

// The difference line, which quotes the line of the file as it was read. Its
// own ending (a line feed, or a carriage return and a line feed) is kept;
// control characters before it are shown as '?'.
void printDifference(i32 delta, i32 e, i32 r, const char *line) {
    size_t len = std::strlen(line);
    size_t text = len;
    if (text > 0 && line[text - 1] == '\n') text--;
    if (text > 0 && text < len && line[text - 1] == '\r') text--;
    std::printf("delta = 0.%d, corvix = %d, stock = %d : ", delta, e, r);
    printPrintable(line, text);
    std::fputs(line + text, stdout);
}

// 32-bit arithmetic that wraps instead of overflowing on absurd references.
inline i32 wrap(i64 v) { return (i32)(u32)(u64)v; }

}  // namespace

bool analyseFile(const char *file_name) {
    FILE *file_in = std::fopen(file_name, "r");
    if (file_in == NULL) {
        std::printf("info string Cannot open analysis file '");
        printPrintable(file_name, std::strlen(file_name));
        std::printf("'\n");
        return false;
    }

    u64 samples = 0, perfect = 0, sum = 0;
    i32 min = 0, max = 0;
    // One line of at most 255 characters with its line feed; a longer line
    // arrives in pieces of 255 characters, each handled as a line.
    char line[256];
    while (std::fgets(line, sizeof line, file_in)) {
        // The FEN is the text before the first semicolon (all of the line
        // when there is none). loadFen refuses a bad FEN with an info string
        // and keeps the previous position; such a line is not counted, since
        // its reference belongs to a position that was not set up.
        char fen[256];
        std::strcpy(fen, line);
        char *semicolon = std::strchr(fen, ';');
        if (semicolon) *semicolon = '\0';
        const bool loaded = loadFen(fen);
        updateAttacks();

        const char *reference = std::strchr(line, ';');
        if (!reference) continue;
        reference++;
        int a = 0, b = 0;
        if (std::sscanf(reference, "-%d.%d", &a, &b) != 2 && std::sscanf(reference, "%d.%d", &a, &b) != 2) continue;
        if (!loaded) continue;
        generateMoves(GEN_ALL);

        // Two decimals are taken as hundredths: "0.5" would be 5 centipawns.
        const i32 r = reference[0] == '-' ? wrap(-100 * (i64)a - b) : wrap(100 * (i64)a + b);
        const i32 e = nnueForward();
        const i32 delta = wrap((i64)e - r);
        const u64 size = (u64)(delta < 0 ? -(i64)delta : (i64)delta);

        if (delta == 0)
            perfect++;
        else if (size > 18)
            printDifference(delta, e, r, line);
        if (delta < min) min = delta;
        if (delta > max) max = delta;
        samples++;
        sum += size;
        if (samples % 250000 == 0) printSummary(samples, perfect, sum, min, max);
    }
    std::fclose(file_in);
    printSummary(samples, perfect, sum, min, max);
    return true;
}
