// The "position" and "ucinewgame" commands, checked through perft counts: a
// position is set up with its moves, and a refused command (bad FEN, bad or
// illegal move) leaves the previous position in place.
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

const char *const STARTPOS_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class Position : public EngineTest {
protected:
    // Output of the script with the timing of every perft summary line removed.
    std::vector<std::string> runMasked(const std::string &script) {
        std::vector<std::string> lines = run(script);
        for (std::string &line : lines) {
            size_t in = line.find(" nodes in ");
            if (in != std::string::npos) line = line.substr(0, in) + " nodes";
        }
        return lines;
    }

    // Divide lines and total of "perft 2" on the position set up by the command.
    std::vector<std::string> perftOf(const std::string &position_command) {
        return runMasked(position_command + "\nperft 2\n");
    }
};

bool isInfoString(const std::string &line) { return line.rfind("info string ", 0) == 0; }

TEST_P(Position, StartposAndFenWithMovesAgree) {
    struct Case { const char *a, *b; };
    const Case cases[] = {
        {"position startpos moves e2e4 e7e5",
         "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 moves e2e4 e7e5"},
        {"position startpos moves e2e4 e7e5",
         "position fen rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2"},
        {"position startpos", "ucinewgame"},
        // Castling and promotion from coordinate text.
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1 e8c8",
         "position fen 2kr3r/8/8/8/8/8/8/R4RK1 w - - 2 2"},
        {"position fen 8/4P1k1/8/8/8/8/8/4K3 w - - 0 1 moves e7e8n", "position fen 4N3/6k1/8/8/8/8/8/4K3 b - - 0 1"},
        // A seventh field is ignored; blanks are folded before the FEN is read.
        {"position fen 8/8/8/4k3/8/8/3P4/4K3 w - - 0 1 extra",
         "position   fen\t8/8/8/4k3/8/8/3P4/4K3 w - - 0 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.a);
        std::vector<std::string> a = perftOf(c.a), b = perftOf(c.b);
        EXPECT_EQ(a, b);
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a.back().find("info string"), std::string::npos);
    }
}

TEST_P(Position, ACommandReplacesThePreviousPosition) {
    EXPECT_EQ(runMasked("position startpos moves d2d4\nposition startpos\nperft 1\n"),
              std::vector<std::string>{"20 nodes"});
    EXPECT_EQ(runMasked("position startpos moves d2d4\nucinewgame\nperft 1\n"), std::vector<std::string>{"20 nodes"});
    // Moves after a FEN are played on that FEN, not on the previous position.
    EXPECT_EQ(runMasked("position startpos moves d2d4\nposition fen 8/8/8/4k3/8/8/8/4K2R w K - 0 1 moves e1g1\n"
                        "perft 1\n"),
              runMasked("position fen 8/8/8/4k3/8/8/8/5RK1 b - - 1 1\nperft 1\n"));
}

TEST_P(Position, RefusedCommandsKeepThePreviousPosition) {
    // Each refused command names its fault in one info string line; the
    // position set up before it (after 1. d4, 560 paths of two plies) stays,
    // with its move history.
    const char *const refused[] = {
        "position fen 8/8/8/8/8/8/8/X7 w - - 0 1",                         // unknown piece letter
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1", // placement short of h1
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq",      // three fields
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0",  // five fields
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq z9 0 1", // bad en passant square
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - x 1",  // half-move clock not a number
        "position startpos moves e2e4 e7",        // move too short
        "position startpos moves e2e4 e7e9",      // no such square
        "position startpos moves i2i4",           // no such file
        "position startpos moves e3e4",           // empty from-square
        "position startpos moves e2e5",           // illegal
        "position startpos moves e2e4 e2e4",      // a white move with black to move
        "position startpos moves e1g1",           // castling through pieces
        "position fen 8/4P1k1/8/8/8/8/8/4K3 w - - 0 1 moves e7e8k",  // no such promotion
        "position fen 8/4P1k1/8/8/8/8/8/4K3 w - - 0 1 moves e7e8",   // promotion piece missing
        "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5c6 b7c6 c6d7",  // illegal late in the list
    };
    const std::vector<std::string> before = runMasked("position startpos moves d2d4\nperft 2\n");
    ASSERT_EQ(before.size(), 21u);
    ASSERT_EQ(before.back(), "560 nodes");
    for (const char *command : refused) {
        SCOPED_TRACE(command);
        std::vector<std::string> lines =
            runMasked(std::string("position startpos moves d2d4\n") + command + "\nperft 2\n");
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(isInfoString(lines[0])) << lines[0];
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), before);
    }
}

TEST_P(Position, RefusedCommandKeepsAPositionSetUpFromAFen) {
    const std::string fen = "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    std::vector<std::string> before = runMasked(fen + " moves e1g1 a6e2\nperft 2\n");
    std::vector<std::string> after =
        runMasked(fen + " moves e1g1 a6e2\nposition fen " + "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1c1 e8e9" +
                  "\nperft 2\n");
    ASSERT_FALSE(after.empty());
    EXPECT_TRUE(isInfoString(after[0])) << after[0];
    EXPECT_EQ(std::vector<std::string>(after.begin() + 1, after.end()), before);
}

TEST_P(Position, LongGamesFitOnTheStack) {
    // 1200 half-moves of knights going out and back: the position is the
    // start position again, and perft still works from there.
    std::string moves;
    for (int i = 0; i < 300; i++) moves += " g1f3 g8f6 f3g1 f6g8";
    std::vector<std::string> lines = runMasked("position startpos moves" + moves + "\nperft 1\nperft 3\n");
    EXPECT_EQ(lines.size(), 22u);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "20 nodes");
    EXPECT_EQ(lines.back(), "8902 nodes");
}

TEST_P(Position, GamesOfThousandsOfPliesAreReadWhole) {
    // 4000 half-moves of knights going out and back, then 1. d4: far longer
    // than other commands may be, and every move counts.
    std::string shuffle;
    for (int i = 0; i < 1000; i++) shuffle += " g1f3 g8f6 f3g1 f6g8";
    const std::vector<std::string> after_d4 = runMasked("position startpos moves d2d4\nperft 2\n");
    ASSERT_EQ(after_d4.back(), "560 nodes");
    EXPECT_EQ(runMasked("position startpos moves" + shuffle + " d2d4\nperft 2\n"), after_d4);
    EXPECT_EQ(runMasked("position fen " + std::string(STARTPOS_FEN) + " moves" + shuffle + " d2d4\nperft 2\n"),
              after_d4);
    // A search from there has the whole stack it needs.
    std::vector<std::string> lines = run("position startpos moves" + shuffle + " d2d4\ngo depth 4\n");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back(), "bestmove 0000");
}

TEST_P(Position, PositionLongerThanAMebibyteIsRefusedWhole) {
    // A game cut short would be the wrong position: the whole command is
    // refused, and the position before it stays.
    std::string shuffle;
    while (shuffle.size() < (1u << 20)) shuffle += " g1f3 g8f6 f3g1 f6g8";
    const std::vector<std::string> after_d4 = runMasked("position startpos moves d2d4\nperft 2\n");
    std::vector<std::string> lines =
        runMasked("position startpos moves d2d4\nposition startpos moves" + shuffle + "\nperft 2\n");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "info string Position refused: the command is longer than 1048575 characters");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), after_d4);
}

TEST_P(Position, PositionOfExactlyTheLongestLengthIsReadWhole) {
    // The full-move number is never read: its leading zeros bring the
    // command to the exact length wanted.
    const size_t longest = (1u << 20) - 1;
    auto commandOfLength = [](size_t length) {
        std::string shuffle;
        while (shuffle.size() + 200 < (1u << 20)) shuffle += " g1f3 g8f6 f3g1 f6g8";
        const std::string head = "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 ";
        const std::string tail = "1 moves" + shuffle + " d2d4";
        return head + std::string(length - head.size() - tail.size(), '0') + tail;
    };
    const std::vector<std::string> after_d4 = runMasked("position startpos moves d2d4\nperft 2\n");
    const std::vector<std::string> after_e4 = runMasked("position startpos moves e2e4\nperft 2\n");
    struct Case {
        const char *name;
        size_t length;
        const char *ending;
        bool read;
    };
    const Case cases[] = {
        {"longest", longest, "\n", true},
        {"longest, CR LF", longest, "\r\n", true},
        {"longest, blanks after it", longest, " \t \n", true},
        {"one more", longest + 1, "\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string command = commandOfLength(c.length);
        ASSERT_EQ(command.size(), c.length);
        std::vector<std::string> lines =
            runMasked("position startpos moves e2e4\n" + command + c.ending + "perft 2\n");
        if (c.read) {
            EXPECT_EQ(lines, after_d4);
        } else {
            ASSERT_FALSE(lines.empty());
            EXPECT_TRUE(isInfoString(lines[0])) << lines[0];
            EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), after_e4);
        }
    }
}

CORVIX_FOR_EACH_BUILD(Position);

}  // namespace
