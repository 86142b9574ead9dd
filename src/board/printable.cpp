#include "board/printable.h"

#include <cstdio>

char *printableCopy(char *out, size_t size, const char *text, size_t len) {
    size_t n = len < size - 1 ? len : size - 1;
    for (size_t i = 0; i < n; i++) out[i] = isControlCharacter((unsigned char)text[i]) ? '?' : text[i];
    out[n] = '\0';
    return out;
}

void printPrintable(const char *text, size_t len) {
    // In pieces, since standard output is unbuffered and text may be long.
    char piece[1024];
    for (size_t at = 0; at < len;) {
        size_t n = len - at < sizeof piece - 1 ? len - at : sizeof piece - 1;
        printableCopy(piece, sizeof piece, text + at, n);
        std::fwrite(piece, 1, n, stdout);
        at += n;
    }
}
