// Helpers for the tablebase tests: TbPosition from and to FEN text, the
// directories of the table files.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "support/engine_fixture.h"
#include "tablebase/tbchess.h"

// Puts a piece, given by its letter (either case), of one colour on a square.
inline void tbPutPiece(TbPosition &pos, char letter, bool black, int sq) {
    uint64_t b = 1ULL << sq;
    (black ? pos.black : pos.white) |= b;
    switch (letter | 32) {
    case 'k': pos.kings |= b; break;
    case 'q': pos.queens |= b; break;
    case 'r': pos.rooks |= b; break;
    case 'b': pos.bishops |= b; break;
    case 'n': pos.knights |= b; break;
    default: pos.pawns |= b; break;
    }
}

inline TbPosition tbFromFen(const char *fen) {
    TbPosition pos;
    std::memset(&pos, 0, sizeof pos);
    int rank = 7, file = 0;
    const char *c = fen;
    for (; *c && *c != ' '; c++) {
        if (*c == '/') {
            rank--;
            file = 0;
        } else if (*c >= '1' && *c <= '8') {
            file += *c - '0';
        } else {
            tbPutPiece(pos, *c, *c >= 'a', rank * 8 + file++);
        }
    }
    char side = 'w', castling[8] = "-", ep[4] = "-";
    int halfmove = 0;
    std::sscanf(c, " %c %7s %3s %d", &side, castling, ep, &halfmove);
    pos.turn = side == 'w';
    if (ep[0] != '-') pos.ep = (uint8_t)((ep[1] - '1') * 8 + (ep[0] - 'a'));
    pos.halfmove = (uint8_t)halfmove;
    return pos;
}

inline std::string tbToFen(const TbPosition &pos) {
    std::string s;
    for (int r = 7; r >= 0; r--) {
        int empty = 0;
        for (int f = 0; f < 8; f++) {
            uint64_t b = 1ULL << (r * 8 + f);
            char l = 0;
            if (pos.kings & b) l = 'k';
            else if (pos.queens & b) l = 'q';
            else if (pos.rooks & b) l = 'r';
            else if (pos.bishops & b) l = 'b';
            else if (pos.knights & b) l = 'n';
            else if (pos.pawns & b) l = 'p';
            if (!l) {
                empty++;
                continue;
            }
            if (empty) s += (char)('0' + empty), empty = 0;
            s += (pos.white & b) ? (char)(l - 32) : l;
        }
        if (empty) s += (char)('0' + empty);
        if (r) s += '/';
    }
    s += pos.turn ? " w - " : " b - ";
    if (pos.ep) {
        s += (char)('a' + (pos.ep & 7));
        s += (char)('1' + (pos.ep >> 3));
    } else {
        s += '-';
    }
    s += " " + std::to_string(pos.halfmove) + " 1";
    return s;
}

// The 3- and 4-piece tables shipped with the tests.
inline std::string tbTestDir() { return testDataPath("syzygy"); }

// Directory of the larger tables beside the repository (absent in a fresh
// clone; tests that need it skip).
inline std::string tbSharedDir() { return testDataPath("../../../shared/data/syzygy"); }
