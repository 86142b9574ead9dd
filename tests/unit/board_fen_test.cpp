// FEN set-up and its refusals, UCI move lists, move text, the board display
// and long games.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/makemove.h"
#include "board_helpers.h"

using namespace board_test;

namespace {

// The state a refused FEN or move list must leave alone.
struct Snapshot {
    std::string fen;
    u64 key;
    int count;
    Ply *current;

    static Snapshot take() { return {currentFen(), curr_ply->key, ply_count, curr_ply}; }
    bool operator==(const Snapshot &o) const {
        return fen == o.fen && key == o.key && count == o.count && current == o.current;
    }
};

bool isOneInfoLine(const std::string &out) {
    return out.rfind("info string ", 0) == 0 && out.find('\n') == out.size() - 1;
}

TEST(BoardFen, StartPosition) {
    ASSERT_TRUE(load(START_FEN));
    EXPECT_EQ(curr_ply->key, 0x463b96181691fc9cULL);
    EXPECT_EQ(currentFen(), START_FEN);
    EXPECT_EQ(ply_count, 0);
    EXPECT_EQ(curr_ply, &plies[0]);
    EXPECT_EQ(curr_ply->us, &curr_ply->side[WHITE]);
    EXPECT_EQ(curr_ply->castling, bit(A1) | bit(E1) | bit(H1) | bit(A8) | bit(E8) | bit(H8));
    EXPECT_EQ(curr_ply->pawn_ending, 0);
    EXPECT_EQ(curr_ply->side[WHITE].king_sq, E1);
    EXPECT_EQ(curr_ply->side[BLACK].king_sq, E8);
    EXPECT_EQ(curr_ply->side[WHITE].passed, 0u);
}

struct RefusedFen {
    const char *fen;
    const char *message;  // part of the expected info string
};

const RefusedFen REFUSED_FENS[] = {
    {"", "expected 4 or 6 fields, found 0"},
    {"8/8/8/8/8/8/8/K1k5", "found 1"},
    {"8/8/8/8/8/8/8/K1k5 w", "found 2"},
    {"8/8/8/8/8/8/8/K1k5 w -", "found 3"},
    {"8/8/8/8/8/8/8/K1k5 w - - 0", "found 5"},
    {"8/8/8/8/8/8/8/K1k5 w - - 0 moves e2e4", "found 5"},
    {"8/8/8/8/8/8/8/K1k4x w - - 0 1", "unknown character 'x'"},
    {"9/8/8/8/8/8/8/K1k5 w - - 0 1", "unknown character '9'"},
    {"08/8/8/8/8/8/8/K1k5 w - - 0 1", "unknown character '0'"},
    {"8/8/8/8/8/8/K1k5 w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/8/K1k5 w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/K1k6 w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/K1k4 w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/K1k5p w - - 0 1", "8 ranks of 8 squares"},
    {"7/9/8/8/8/8/8/K1k5 w - - 0 1", "8 ranks of 8 squares"},
    {"7/p8/8/8/8/8/8/K1k5 w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/K1k5/ w - - 0 1", "8 ranks of 8 squares"},
    {"8/8/8/8/8/8/8/2k5 w - - 0 1", "white must have exactly one king"},
    {"8/8/8/8/8/8/8/K1k3K1 w - - 0 1", "white must have exactly one king"},
    {"8/8/8/8/8/8/8/K7 w - - 0 1", "black must have exactly one king"},
    {"k7/8/8/8/8/8/8/K1k5 w - - 0 1", "black must have exactly one king"},
    {"8/8/8/8/8/8/8/K1k4R w - - 0 1", "the side not to move is in check"},
    {"8/8/8/8/8/8/8/Kk6 b - - 0 1", "the side not to move is in check"},
    {"P7/8/8/8/8/8/8/K1k5 w - - 0 1", "pawn on the first or last rank"},
    {"8/8/8/8/8/8/8/K1k2p2 b - - 0 1", "pawn on the first or last rank"},
    {"QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/K1k5 b - - 0 1", "too many pieces for white"},
    {"8/pppppppp/p7/8/8/8/8/K1k5 w - - 0 1", "too many pieces for black"},
    {"8/8/8/8/8/8/8/K1k5 x - - 0 1", "side to move must be 'w' or 'b', not 'x'"},
    {"8/8/8/8/8/8/8/K1k5 white - - 0 1", "side to move"},
    {"8/8/8/8/8/8/8/K1k5 W - - 0 1", "side to move"},
    {"8/8/8/8/8/8/8/K1k5 w - e4 0 1", "bad en passant square 'e4'"},
    {"8/8/8/8/8/8/8/K1k5 w - i6 0 1", "bad en passant square 'i6'"},
    {"8/8/8/8/8/8/8/K1k5 w - e66 0 1", "bad en passant square"},
    {"8/8/8/8/8/8/8/K1k5 w - 6e 0 1", "bad en passant square"},
    {"8/8/8/8/8/8/8/K1k5 w - x 0 1", "bad en passant square"},
    {"8/8/8/8/8/8/8/K1k5 w - - x 1", "bad half-move clock 'x'"},
    {"8/8/8/8/8/8/8/K1k5 w - - -1 1", "bad half-move clock"},
    {"8/8/8/8/8/8/8/K1k5 w - - 1.5 1", "bad half-move clock"},
    {"8/8/8/8/8/8/8/K1k5 w - - 0x10 1", "bad half-move clock"},
    {"8/8/8/8/8/8/8/K1k5 w - - 1234567890 1", "bad half-move clock"},
    // Four fields followed by something other than a move list.
    {"8/8/8/8/8/8/8/K1k5 w - - e2e4 e7e5", "bad half-move clock 'e2e4'"},
};

TEST(BoardFen, RefusedFensLeaveThePositionAlone) {
    for (const RefusedFen &c : REFUSED_FENS) {
        ASSERT_TRUE(load(START_FEN));
        ASSERT_TRUE(playMoves("e2e4 e7e5"));
        Snapshot before = Snapshot::take();
        bool ok = true;
        std::string out = captureStdout([&] { ok = loadFen(c.fen); });
        EXPECT_FALSE(ok) << c.fen;
        EXPECT_TRUE(isOneInfoLine(out)) << c.fen << " -> " << out;
        EXPECT_EQ(out.rfind("info string Invalid FEN: ", 0), 0u) << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.fen << " -> " << out;
        EXPECT_TRUE(Snapshot::take() == before) << c.fen;
        EXPECT_EQ(plies[0].move, buildMove(E2, E4, PAWN)) << c.fen;  // the history too
    }
}

TEST(BoardFen, AcceptedVariants) {
    struct {
        const char *fen;
        const char *result;  // FEN of the loaded position
    } cases[] = {
        // Four fields: clock 0; a move list may follow; a seventh field is ignored.
        {"8/8/8/8/8/8/8/K1k5 w - -", "8/8/8/8/8/8/8/K1k5 w - - 0 1"},
        {"8/8/8/8/8/8/8/K1k5 w - - moves a1a2", "8/8/8/8/8/8/8/K1k5 w - - 0 1"},
        {"8/8/8/8/8/8/8/K1k5 b - - 12 40 extra", "8/8/8/8/8/8/8/K1k5 b - - 12 1"},
        {"  8/8/8/8/8/8/8/K1k5\tw  -  -  3  9 ", "8/8/8/8/8/8/8/K1k5 w - - 3 1"},
        // Castling rights whose king or rook is missing are dropped.
        {"4k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", "4k3/8/8/8/8/8/8/4K2R w K - 0 1"},
        {"4k3/8/8/8/8/8/8/3K3R w K - 0 1", "4k3/8/8/8/8/8/8/3K3R w - - 0 1"},
        {"r3k3/8/8/8/8/8/8/R3K2R w KQkqX - 0 1", "r3k3/8/8/8/8/8/8/R3K2R w KQq - 0 1"},
        // An en passant square is kept only when a double push explains it.
        {"4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1", "4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1"},
        {"4k3/8/8/8/8/8/8/4K3 b - e3 0 1", "4k3/8/8/8/8/8/8/4K3 b - - 0 1"},
        {"4k3/8/8/8/4P3/8/8/4K3 w - e3 0 1", "4k3/8/8/8/4P3/8/8/4K3 w - - 0 1"},
        {"4k3/8/8/8/4P3/8/4P3/4K3 b - e3 0 1", "4k3/8/8/8/4P3/8/4P3/4K3 b - - 0 1"},
        {"4k3/8/8/8/4P3/4N3/8/4K3 b - e3 0 1", "4k3/8/8/8/4P3/4N3/8/4K3 b - - 0 1"},
        {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1", "4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1"},
    };
    for (const auto &c : cases) {
        bool ok = false;
        std::string out = captureStdout([&] { ok = loadFen(c.fen); });
        EXPECT_TRUE(ok) << c.fen << " -> " << out;
        EXPECT_EQ(out, "") << c.fen;
        EXPECT_EQ(currentFen(), c.result) << c.fen;
        EXPECT_EQ(curr_ply->key, computeKey(curr_ply)) << c.fen;
    }
    // The en passant key is part of the key exactly when the square is kept,
    // so the loaded position after 1.e4 has the key makeMove gives it.
    ASSERT_TRUE(load("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    EXPECT_EQ(curr_ply->key, 0x4d0dde8ef7cc031fULL);
}

struct BadMoves {
    const char *fen;
    const char *moves;
    const char *message;  // the whole expected output
    int played;           // moves played before the bad one
};

const BadMoves BAD_MOVES[] = {
    {START_FEN, "e2e5", "info string Illegal move 'e2e5'\n", 0},
    {START_FEN, "e2e4 e7e5 g1g3", "info string Illegal move 'g1g3'\n", 2},
    {START_FEN, "e2e4 e7e5 e1e2x", "info string Invalid move 'e1e2x'\n", 2},
    {START_FEN, "e2", "info string Invalid move 'e2'\n", 0},
    {START_FEN, "e2e4e5", "info string Invalid move 'e2e4e5'\n", 0},
    {START_FEN, "i2i4", "info string Invalid move 'i2i4'\n", 0},
    {START_FEN, "E2E4", "info string Invalid move 'E2E4'\n", 0},
    {START_FEN, "0000", "info string Invalid move '0000'\n", 0},
    {START_FEN, "e7e5", "info string Illegal move 'e7e5'\n", 0},
    {START_FEN, "e1g1", "info string Illegal move 'e1g1'\n", 0},
    {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8", "info string Illegal move 'a7a8'\n", 0},
    {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8k", "info string Invalid move 'a7a8k'\n", 0},
    {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8Q", "info string Invalid move 'a7a8Q'\n", 0},
    {"4k3/8/8/8/8/8/P7/4K3 w - - 0 1", "a2a3q", "info string Illegal move 'a2a3q'\n", 0},
    // In check, a move that ignores it.
    {"4k3/8/8/8/8/8/4r3/R3K3 w Q - 0 1", "a1a2", "info string Illegal move 'a1a2'\n", 0},
};

TEST(BoardFen, BadMovesAreRefused) {
    for (const BadMoves &c : BAD_MOVES) {
        ASSERT_TRUE(load(c.fen));
        bool ok = true;
        std::string out = captureStdout([&] { ok = playMoves(c.moves); });
        EXPECT_FALSE(ok) << c.moves;
        EXPECT_EQ(out, c.message) << c.moves;
        EXPECT_EQ(ply_count, c.played) << c.moves;
    }
}

TEST(BoardFen, PlayMoves) {
    ASSERT_TRUE(load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    bool ok = false;
    std::string out = captureStdout([&] { ok = playMoves("  e1g1   e8c8 "); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "");
    EXPECT_EQ(currentFen(), "2kr3r/8/8/8/8/8/8/R4RK1 w - - 2 2");
    // The parser's word: no flags (the rook on f1 does not check anyway).
    EXPECT_EQ(plies[0].move, buildMove(E1, G1, KING));

    ASSERT_TRUE(load("4k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_TRUE(playMoves("a7a8q"));
    EXPECT_EQ(plies[0].move, buildMove(A7, A8, PAWN, 0, QUEEN));  // checks, but no flag
    EXPECT_EQ(curr_ply->side[WHITE].pieces[QUEEN], bit(A8));

    // En passant from the text: captured is a pawn.
    ASSERT_TRUE(load(START_FEN));
    EXPECT_TRUE(playMoves("e2e4 a7a6 e4e5 d7d5 e5d6"));
    EXPECT_EQ(plies[4].move, buildMove(E5, D6, PAWN, PAWN));
    EXPECT_EQ(curr_ply->side[BLACK].pieces[PAWN] & bit(D5), 0u);
    EXPECT_EQ(curr_ply->key, computeKey(curr_ply));

    EXPECT_TRUE(playMoves(""));
    EXPECT_EQ(ply_count, 5);

    ASSERT_TRUE(load(START_FEN));
    EXPECT_EQ(parseMove("g1f3"), buildMove(G1, F3, KNIGHT));
    EXPECT_EQ(parseMove("g1g3"), 0u);
    EXPECT_EQ(parseMove("g1"), 0u);
}

TEST(BoardFen, MoveText) {
    struct {
        Move move;
        const char *text, *uci;
    } cases[] = {
        {0, "null", "0000"},
        {buildMove(E2, E4, PAWN), "e2e4", "e2e4"},
        {buildMove(G1, F3, KNIGHT), "Ng1f3", "g1f3"},
        {buildMove(E4, D5, PAWN, PAWN), "e4xd5", "e4d5"},
        {buildMove(E4, D5, PAWN, KNIGHT), "e4xNd5", "e4d5"},
        {buildMove(F3, E5, KNIGHT, BISHOP), "Nf3xBe5", "f3e5"},
        {buildMove(E7, E8, PAWN, 0, QUEEN) | FLAG_CHECK, "e7e8=Q+", "e7e8q"},
        {buildMove(E7, D8, PAWN, ROOK, KNIGHT), "e7xRd8=N", "e7d8n"},
        {buildMove(E1, G1, KING), "Ke1g1", "e1g1"},
        {buildMove(A1, A8, ROOK, QUEEN) | FLAG_CHECK | FLAG_DISCOVERED | FLAG_HASH, "Ra1xQa8+!H", "a1a8"},
    };
    for (const auto &c : cases) {
        int n = 0;
        std::string out = captureStdout([&] { n = printMove(c.move); });
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(n, (int)std::strlen(c.text));
        EXPECT_EQ(uci(c.move), c.uci);
    }
}

TEST(BoardFen, DisplayBytes) {
    ASSERT_TRUE(load("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));
    ASSERT_TRUE(playMoves("h1h8"));
    updateAttacks();
    std::string out = captureStdout([] { displayBoard(); });

    const char *S = "\xB0";  // light shade
    auto row = [&](int rank, const std::string &squares, const char *marker) {
        return " " + std::to_string(rank) + " \xB3" + squares + marker + "\n";
    };
    std::string light = std::string(S) + S + S, dark = "   ";
    std::string expected = "\nafter moves:\n   1. Rh1h8     \n\n";
    expected += row(8, light + dark + light + dark + S + "k" + S + dark + light + " R ", " * (check !)");
    for (int rank = 7; rank >= 2; rank--) {
        std::string squares;
        for (int file = 0; file < 8; file++) squares += (file + rank - 1) % 2 ? light : dark;
        expected += row(rank, squares, "");
    }
    expected += row(1, dark + light + dark + light + " K " + light + dark + light, "");
    expected += "   \xC0" + std::string(24, '\xC4') + "\n     A  B  C  D  E  F  G  H\n\n";
    char key[64];
    std::snprintf(key, sizeof key, "key = 0x%08x%08x\n", (unsigned)(curr_ply->key >> 32), (unsigned)curr_ply->key);
    expected += key;
    expected += "fen = 4k2R/8/8/8/8/8/8/4K3 b - - 1 1\n";
    EXPECT_EQ(out, expected);

    // The move list: numbers before white's moves, six moves a line; the
    // full-move number counts the moves played.
    ASSERT_TRUE(load(START_FEN));
    ASSERT_TRUE(playMoves("e2e4 e7e5 g1f3"));
    out = captureStdout([] { displayBoard(); });
    EXPECT_EQ(out.rfind("\nafter moves:\n   1. e2e4      e7e5         2. Ng1f3     \n\n", 0), 0u) << out;
    EXPECT_NE(out.find("fen = rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2\n"), std::string::npos);

    ASSERT_TRUE(playMoves("b8c6 f1b5 a7a6 b5a4"));
    out = captureStdout([] { displayBoard(); });
    EXPECT_EQ(out.rfind("\nafter moves:\n"
                        "   1. e2e4      e7e5         2. Ng1f3     Nb8c6        3. Bf1b5     a7a6      \n"
                        "   4. Bb5a4     \n\n",
                        0),
              0u)
        << out;

    // A loaded full-move number is not used; the side to move is shown after
    // rank 1 for white, without a check marker when there is no check.
    ASSERT_TRUE(load("8/8/8/8/8/8/8/K1k5 w - - 0 40"));
    updateAttacks();
    out = captureStdout([] { displayBoard(); });
    EXPECT_NE(out.find(" 1 \xB3 K " + light + " k " + light + dark + light + dark + light + " *\n"), std::string::npos);
    EXPECT_NE(out.find("fen = 8/8/8/8/8/8/8/K1k5 w - - 0 1\n"), std::string::npos);
}

// Over a thousand plies of legal moves: the stack never runs out, the search
// keeps its room above the current record, and the records the repetition
// test walks through are still there.
TEST(BoardFen, LongGames) {
    ASSERT_TRUE(load(START_FEN));
    const char *cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<u64> keys = {curr_ply->key};
    std::string all_moves;
    auto play = [&](const char *m) {
        ASSERT_TRUE(playMoves(m)) << m;
        keys.push_back(curr_ply->key);
        all_moves += std::string(m) + " ";
        ASSERT_LE(ply_count, MAX_ROOT_PLY - 1);
        ASSERT_EQ(ply_count + ply_offset, (int)keys.size() - 1);
    };
    for (int i = 0; i < 1100; i++) play(cycle[i % 4]);
    play("e2e4");
    const char *black_first[4] = {"g8f6", "g1f3", "f6g8", "f3g1"};
    for (int i = 0; i < 9; i++) play(black_first[i % 4]);
    // 1110 plies played; since the pawn move 9 plies, all still on the stack.
    EXPECT_EQ(curr_ply->halfmove, 9);
    ASSERT_GE(ply_count, 10);
    for (int back = 0; back <= 9; back++) EXPECT_EQ(plies[ply_count - back].key, keys[keys.size() - 1 - back]);
    EXPECT_EQ(plies[ply_count - 10].move, buildMove(E2, E4, PAWN));
    // The same game in one move list, as a GUI sends it after every move.
    ASSERT_TRUE(load(START_FEN));
    ASSERT_TRUE(playMoves(all_moves.c_str()));
    EXPECT_EQ(curr_ply->key, keys.back());
    EXPECT_EQ(ply_count + ply_offset, 1110);
    EXPECT_GE(PLY_STACK_SIZE - 1 - ply_count, SEARCH_STACK_RESERVE);
    for (int back = 0; back <= 9; back++) EXPECT_EQ(plies[ply_count - back].key, keys[keys.size() - 1 - back]);
    EXPECT_EQ(currentFen(), "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 9 556");

    // Without a capture or pawn move for a long time, 100 plies are kept:
    // beyond them the game is drawn by the 50-move rule anyway.
    ASSERT_TRUE(load(START_FEN));
    std::string shuffle;
    for (int i = 0; i < 1200; i++) shuffle += std::string(cycle[i % 4]) + " ";
    ASSERT_TRUE(playMoves(shuffle.c_str()));
    EXPECT_GE(ply_count, 100);
    EXPECT_EQ(ply_count + ply_offset, 1200);
    EXPECT_EQ(curr_ply->key, 0x463b96181691fc9cULL);  // back to the start position
    for (int back = 4; back <= 100; back += 4) EXPECT_EQ(plies[ply_count - back].key, curr_ply->key);

    // The display numbers the moves from the start of the game.
    std::string out = captureStdout([] { displayBoard(); });
    int first = ply_offset;
    char prefix[64];
    if (first % 2 == 0) std::snprintf(prefix, sizeof prefix, "\nafter moves:\n%4i. ", first / 2 + 1);
    else std::snprintf(prefix, sizeof prefix, "\nafter moves:\n%4i. ...       ", first / 2 + 1);
    EXPECT_EQ(out.rfind(prefix, 0), 0u) << out.substr(0, 80);
    EXPECT_NE(out.find(" 600. "), std::string::npos);
    EXPECT_NE(out.find("fen = rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 1200 601\n"), std::string::npos);
}

}  // namespace
