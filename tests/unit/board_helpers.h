// Small helpers shared by the board tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/position.h"

namespace board_test {

// Runs fn with standard output sent to a temporary file and returns what it
// wrote, byte for byte.
template <typename Fn>
std::string captureStdout(Fn fn) {
    std::fflush(stdout);
    FILE *tmp = std::tmpfile();
    int saved = dup(fileno(stdout));
    dup2(fileno(tmp), fileno(stdout));
    fn();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    std::string out;
    std::rewind(tmp);
    int c;
    while ((c = std::fgetc(tmp)) != EOF) out.push_back((char)c);
    std::fclose(tmp);
    return out;
}

// Loads a FEN that the test expects to be accepted, without its output.
inline bool load(const char *fen) {
    bool ok = false;
    captureStdout([&] { ok = loadFen(fen); });
    return ok;
}

inline std::string uci(Move m) {
    char buf[8];
    return moveText(m, buf);
}

// The legal moves of curr_ply in generation order.
inline std::vector<Move> legalMoves(int mode = GEN_ALL) {
    updateAttacks();
    generateMoves(mode);
    return std::vector<Move>(curr_ply->moves, curr_ply->moves + curr_ply->generated);
}

// The generated word of a move given in UCI text, or 0.
inline Move findMove(const std::string &text, int mode = GEN_ALL) {
    for (Move m : legalMoves(mode))
        if (uci(m) == text) return m;
    return 0;
}

inline std::string currentFen() {
    char buf[128];
    return positionFen(buf);
}

}  // namespace board_test
