// FEN set-up, UCI move lists, move text and the board display.
#include "board/fen.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/printable.h"
#include "board/sliders.h"

namespace {

const char FILE_LETTERS[] = "abcdefgh";
const char RANK_DIGITS[] = "12345678";
const char FEN_BLACK[] = "pnbrqk";   // index = type - 1
const char FEN_WHITE[] = "PNBRQK";
const char UCI_PROMOTION[] = "??nbrq?";
const char LONG_PROMOTION[] = "??NBRQ?";
const char LONG_PIECE[] = "?PNBRQK";
const char BOARD_BLACK[] = ".pnbrqk";
const char BOARD_WHITE[] = ".PNBRQK";

// Longest piece of user text quoted back in a message.
constexpr int QUOTE_MAX = 64;

// Move word fields that the UCI parser fills: to, from, moved, captured and
// promotion (no flags).
constexpr Move PARSED_FIELDS = 0x07707fffu;

struct Field {
    const char *text;
    int len;
};

// Position of a character in a letter set, -1 when absent.
int indexIn(const char *set, char c) {
    const char *p = c ? std::strchr(set, c) : nullptr;
    return p ? (int)(p - set) : -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Splits text at blanks into at most max fields. A field "moves" ends the
// FEN (the UCI position command hands over its move list too). Returns the
// number of fields found.
int splitFen(const char *text, Field *fields, int max) {
    int count = 0;
    const char *t = text;
    while (count < max) {
        while (isBlank(*t)) t++;
        if (!*t) break;
        const char *start = t;
        while (*t && !isBlank(*t)) t++;
        int len = (int)(t - start);
        if (len == 5 && std::memcmp(start, "moves", 5) == 0) break;
        fields[count].text = start;
        fields[count].len = len;
        count++;
    }
    return count;
}

bool fieldIs(const Field &f, const char *s) { return f.len == (int)std::strlen(s) && std::memcmp(f.text, s, f.len) == 0; }

void refuseFen(const char *what) { std::printf("info string Invalid FEN: %s\n", what); }

void refuseFenField(const char *what, const Field &f) {
    char quote[QUOTE_MAX + 1];
    std::printf("info string Invalid FEN: %s '%s'\n", what, printableCopy(quote, sizeof quote, f.text, (size_t)f.len));
}

bool attackedBy(const Ply *p, int sq, int colour) {
    const u64 *pc = p->side[colour].pieces;
    u64 occupancy = p->occupancy;
    return (pc[PAWN] & pawn_attacks[colour ^ 1][sq]) || (pc[KNIGHT] & knight_attacks[sq]) ||
           (pc[KING] & king_attacks[sq]) || ((pc[BISHOP] | pc[QUEEN]) & bishopAttacks(sq, occupancy)) ||
           ((pc[ROOK] | pc[QUEEN]) & rookAttacks(sq, occupancy));
}

bool pawnsAndKingOnly(const Side &s) { return s.pieces[0] == (s.pieces[PAWN] | s.pieces[KING]); }

// Whether a colour's material could come from a game: at most 8 pawns, and
// no more promoted pieces than missing pawns. This also bounds the number of
// legal moves well below the size of a move list.
bool plausibleMaterial(const Side &s) {
    int pawns = popCount(s.pieces[PAWN]);
    int extra = 0;
    int queens = popCount(s.pieces[QUEEN]), rooks = popCount(s.pieces[ROOK]);
    int bishops = popCount(s.pieces[BISHOP]), knights = popCount(s.pieces[KNIGHT]);
    if (queens > 1) extra += queens - 1;
    if (rooks > 2) extra += rooks - 2;
    if (bishops > 2) extra += bishops - 2;
    if (knights > 2) extra += knights - 2;
    return pawns <= 8 && pawns + extra <= 8;
}

// Parse target of loadFen: the current position stays untouched until the
// new one is known to be sound.
Ply scratch;

bool parsePlacement(const Field &f, Ply *p) {
    int rank = 7, file = 0;
    for (int i = 0; i < f.len; i++) {
        char c = f.text[i];
        if (c == '/') {
            if (file != 8 || rank == 0) {
                refuseFen("the piece placement must describe 8 ranks of 8 squares");
                return false;
            }
            rank--;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) {
                refuseFen("the piece placement must describe 8 ranks of 8 squares");
                return false;
            }
        } else {
            const char *black = std::strchr(FEN_BLACK, c);
            const char *white = std::strchr(FEN_WHITE, c);
            if (!c || (!black && !white)) {
                std::printf("info string Invalid FEN: unknown character '%c' in the piece placement\n",
                            isControlCharacter((unsigned char)c) ? '?' : c);
                return false;
            }
            if (file >= 8) {
                refuseFen("the piece placement must describe 8 ranks of 8 squares");
                return false;
            }
            int colour = white ? WHITE : BLACK;
            int type = (int)(white ? white - FEN_WHITE : black - FEN_BLACK) + 1;
            int sq = rank * 8 + file;
            p->side[colour].pieces[type] |= bit(sq);
            if (type == KING) p->side[colour].king_sq = sq;
            file++;
        }
    }
    if (rank != 0 || file != 8) {
        refuseFen("the piece placement must describe 8 ranks of 8 squares");
        return false;
    }
    return true;
}

// Castling rights of the field, keeping only those whose king and rook stand
// on their squares.
u64 parseCastling(const Field &f, const Ply *p) {
    const u64 *white = p->side[WHITE].pieces;
    const u64 *black = p->side[BLACK].pieces;
    u64 castling = 0;
    for (int i = 0; i < f.len; i++) {
        u64 king = 0, rook = 0;
        const u64 *own = nullptr;
        switch (f.text[i]) {
            case 'K': own = white, king = bit(E1), rook = bit(H1); break;
            case 'Q': own = white, king = bit(E1), rook = bit(A1); break;
            case 'k': own = black, king = bit(E8), rook = bit(H8); break;
            case 'q': own = black, king = bit(E8), rook = bit(A8); break;
            default: continue;  // '-' and anything else add nothing
        }
        if ((own[KING] & king) && (own[ROOK] & rook)) castling |= king | rook;
    }
    return castling;
}

// Reads a decimal half-move clock of at most nine digits.
bool parseClock(const Field &f, i32 *value) {
    if (f.len < 1 || f.len > 9) return false;
    i32 v = 0;
    for (int i = 0; i < f.len; i++) {
        if (f.text[i] < '0' || f.text[i] > '9') return false;
        v = v * 10 + (f.text[i] - '0');
    }
    *value = v;
    return true;
}

// Parses a UCI move against the legal moves of curr_ply. Returns the move
// word (parser fields only) or 0; *malformed tells a text that is no move at
// all from a move that is not legal here.
Move parseMoveText(const char *text, int len, bool *malformed) {
    *malformed = true;
    if (len != 4 && len != 5) return 0;
    int file_from = indexIn(FILE_LETTERS, text[0]), rank_from = indexIn(RANK_DIGITS, text[1]);
    int file_to = indexIn(FILE_LETTERS, text[2]), rank_to = indexIn(RANK_DIGITS, text[3]);
    if (file_from == -1 || rank_from == -1 || file_to == -1 || rank_to == -1) return 0;
    int from = rank_from * 8 + file_from;
    int to = rank_to * 8 + file_to;
    int promotion = 0;
    if (len == 5) {
        promotion = indexIn(UCI_PROMOTION, text[4]);
        if (promotion < KNIGHT || promotion > QUEEN) return 0;
    }
    *malformed = false;
    updateAttacks();
    generateMoves(GEN_ALL);
    for (int i = 0; i < curr_ply->generated; i++) {
        Move m = curr_ply->moves[i];
        if (moveFrom(m) == from && moveTo(m) == to && movePromotion(m) == promotion) return m & PARSED_FIELDS;
    }
    return 0;
}

void printSquare(int sq) { std::printf("%c%c", FILE_LETTERS[fileOf(sq)], RANK_DIGITS[rankOf(sq)]); }

}  // namespace

bool loadFen(const char *text) {
    Field fields[6];
    int count = splitFen(text, fields, 6);
    if (count != 4 && count != 6) {
        std::printf("info string Invalid FEN: expected 4 or 6 fields, found %d\n", count);
        return false;
    }

    Ply *p = &scratch;
    std::memset(p, 0, sizeof *p);
    if (!parsePlacement(fields[0], p)) return false;

    for (int c = BLACK; c <= WHITE; c++) {
        Side &s = p->side[c];
        if (popCount(s.pieces[KING]) != 1) {
            refuseFen(c == WHITE ? "white must have exactly one king" : "black must have exactly one king");
            return false;
        }
        if (!plausibleMaterial(s)) {
            refuseFen(c == WHITE ? "too many pieces for white" : "too many pieces for black");
            return false;
        }
        for (int t = PAWN; t <= KING; t++) s.pieces[0] |= s.pieces[t];
    }
    if ((p->side[WHITE].pieces[PAWN] | p->side[BLACK].pieces[PAWN]) & (RANK_1_BB | RANK_8_BB)) {
        refuseFen("pawn on the first or last rank");
        return false;
    }
    p->occupancy = p->side[WHITE].pieces[0] | p->side[BLACK].pieces[0];

    int stm;
    if (fieldIs(fields[1], "w")) stm = WHITE;
    else if (fieldIs(fields[1], "b")) stm = BLACK;
    else {
        refuseFenField("side to move must be 'w' or 'b', not", fields[1]);
        return false;
    }
    if (attackedBy(p, p->side[stm ^ 1].king_sq, stm)) {
        refuseFen("the side not to move is in check");
        return false;
    }

    p->castling = parseCastling(fields[2], p);

    const Field &epf = fields[3];
    if (!fieldIs(epf, "-")) {
        int file = epf.len == 2 ? indexIn(FILE_LETTERS, epf.text[0]) : -1;
        char rank = epf.len == 2 ? epf.text[1] : 0;
        if (file == -1 || (rank != '3' && rank != '6')) {
            refuseFenField("bad en passant square", epf);
            return false;
        }
        int sq = (rank - '1') * 8 + file;
        // Kept only when the last move can have been a double push over it:
        // the pawn stands in front of it, and it and the square behind it are
        // empty.
        int forward = stm == WHITE ? -8 : 8;  // from the square towards the pushed pawn
        bool right_rank = stm == WHITE ? rank == '6' : rank == '3';
        if (right_rank && (p->side[stm ^ 1].pieces[PAWN] & bit(sq + forward)) &&
            !(p->occupancy & (bit(sq) | bit(sq - forward))))
            p->ep = bit(sq);
    }

    i32 halfmove = 0;
    if (count == 6 && !parseClock(fields[4], &halfmove)) {
        refuseFenField("bad half-move clock", fields[4]);
        return false;
    }

    // The position is sound: it becomes plies[0]. Records above it are always
    // filled by makeMove before anything reads them, so only this one is cleared.
    std::memset(&plies[0], 0, sizeof plies[0]);
    Ply *root = &plies[0];
    std::memcpy(root->side, p->side, sizeof p->side);
    root->castling = p->castling;
    root->occupancy = p->occupancy;
    root->ep = p->ep;
    root->halfmove = halfmove;
    linkPly(root, stm);
    root->key = computeKey(root);
    root->pawn_ending = pawnsAndKingOnly(root->side[BLACK]) || pawnsAndKingOnly(root->side[WHITE]) ? 1 : 0;
    root->rank_flip = stm == WHITE ? 0 : 0xe38;
    ply_count = 0;
    ply_offset = 0;
    curr_ply = root;
    updatePassed();
    return true;
}

Move parseMove(const char *text) {
    bool malformed;
    return parseMoveText(text, (int)std::strlen(text), &malformed);
}

bool playMoves(const char *text) {
    compactHistory(SEARCH_STACK_RESERVE);
    const char *t = text;
    for (;;) {
        while (isBlank(*t)) t++;
        if (!*t) return true;
        const char *start = t;
        while (*t && !isBlank(*t)) t++;
        int len = (int)(t - start);
        bool malformed;
        Move move = parseMoveText(start, len, &malformed);
        if (!move) {
            char quote[QUOTE_MAX + 1];
            std::printf("info string %s move '%s'\n", malformed ? "Invalid" : "Illegal",
                        printableCopy(quote, sizeof quote, start, (size_t)len));
            return false;
        }
        makeMove(move);
        // Long games: keep room for the search above the current record.
        compactHistory(SEARCH_STACK_RESERVE);
    }
}

int printMove(Move move) {
    if (!move) {
        std::printf("null");
        return 4;
    }
    int n = 0;
    int type = movePiece(move);
    if (type != PAWN) {
        std::putchar(LONG_PIECE[type]);
        n++;
    }
    printSquare(moveFrom(move));
    n += 2;
    int captured = moveCaptured(move);
    if (captured) {
        std::putchar('x');
        n++;
        if (captured != PAWN) {
            std::putchar(LONG_PIECE[captured]);
            n++;
        }
    }
    printSquare(moveTo(move));
    n += 2;
    if (movePromotion(move)) {
        std::printf("=%c", LONG_PROMOTION[movePromotion(move)]);
        n += 2;
    }
    if (move & FLAG_CHECK) std::putchar('+'), n++;
    if (move & FLAG_DISCOVERED) std::putchar('!'), n++;
    if (move & FLAG_HASH) std::putchar('H'), n++;
    return n;
}

char *moveText(Move move, char *buf) {
    if (!move) {
        std::strcpy(buf, "0000");
        return buf;
    }
    int from = moveFrom(move), to = moveTo(move);
    buf[0] = FILE_LETTERS[fileOf(from)];
    buf[1] = RANK_DIGITS[rankOf(from)];
    buf[2] = FILE_LETTERS[fileOf(to)];
    buf[3] = RANK_DIGITS[rankOf(to)];
    int n = 4;
    if (movePromotion(move)) buf[n++] = UCI_PROMOTION[movePromotion(move)];
    buf[n] = 0;
    return buf;
}

char *positionFen(char *buf) {
    const Ply *p = curr_ply;
    char *o = buf;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            u64 b = bit(rank * 8 + file);
            char c = 0;
            for (int t = PAWN; t <= KING && !c; t++) {
                if (p->side[WHITE].pieces[t] & b) c = FEN_WHITE[t - 1];
                else if (p->side[BLACK].pieces[t] & b) c = FEN_BLACK[t - 1];
            }
            if (!c) {
                empty++;
                continue;
            }
            if (empty) *o++ = (char)('0' + empty);
            empty = 0;
            *o++ = c;
        }
        if (empty) *o++ = (char)('0' + empty);
        if (rank) *o++ = '/';
    }
    *o++ = ' ';
    *o++ = p->us == &p->side[WHITE] ? 'w' : 'b';
    *o++ = ' ';
    u64 c = p->castling;
    char *rights = o;
    if ((c & bit(E1)) && (c & bit(H1))) *o++ = 'K';
    if ((c & bit(E1)) && (c & bit(A1))) *o++ = 'Q';
    if ((c & bit(E8)) && (c & bit(H8))) *o++ = 'k';
    if ((c & bit(E8)) && (c & bit(A8))) *o++ = 'q';
    if (o == rights) *o++ = '-';
    *o++ = ' ';
    if (p->ep) {
        int sq = lsb(p->ep);
        *o++ = FILE_LETTERS[fileOf(sq)];
        *o++ = RANK_DIGITS[rankOf(sq)];
    } else {
        *o++ = '-';
    }
    std::snprintf(o, 40, " %i %i", p->halfmove, (ply_count + ply_offset) / 2 + 1);
    return buf;
}

void displayBoard() {
    std::putchar('\n');
    if (ply_count != 0) {
        std::printf("after moves:\n");
        for (int i = 0; i < ply_count; i++) {
            // Plies dropped from the bottom of a long game still count.
            int played = i + ply_offset;
            if (played % 2 == 0) std::printf("%4i. ", played / 2 + 1);
            else if (i == 0) std::printf("%4i. %-10s", played / 2 + 1, "...");
            int n = printMove(plies[i].move);
            for (; n < 10; n++) std::putchar(' ');
            if (played % 6 == 5) std::putchar('\n');
        }
        std::puts("\n");
    }

    const Ply *p = curr_ply;
    bool white_to_move = p->us == &p->side[WHITE];
    for (int rank = 7; rank >= 0; rank--) {
        std::printf(" %i %c", rank + 1, 0xB3);
        for (int file = 0; file < 8; file++) {
            int sq = rank * 8 + file;
            char shade = (file + rank) % 2 ? (char)0xB0 : ' ';
            char letter = shade;
            for (int t = PAWN; t <= KING; t++) {
                if (p->side[BLACK].pieces[t] & bit(sq)) letter = BOARD_BLACK[t];
                if (p->side[WHITE].pieces[t] & bit(sq)) letter = BOARD_WHITE[t];
            }
            std::putchar(shade);
            std::putchar(letter);
            std::putchar(shade);
        }
        if ((rank == 7 && !white_to_move) || (rank == 0 && white_to_move))
            std::printf(" *%s", p->us && p->us->attacks[ATK_CHECKERS] ? " (check !)" : "");
        std::putchar('\n');
    }
    std::printf("   %c", 0xC0);
    for (int i = 0; i < 24; i++) std::putchar(0xC4);
    std::puts("\n     A  B  C  D  E  F  G  H\n");

    std::printf("key = 0x%08x%08x\n", (unsigned)(p->key >> 32), (unsigned)(p->key & 0xffffffffu));
    char fen[128];
    std::printf("fen = %s\n", positionFen(fen));
}
