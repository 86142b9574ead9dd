// Tablebases through the protocol: the SyzygyPath option and its report, the
// root answer without search, play-outs that must mate within the table's
// distance, and damaged table files that must not stop the engine.
#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "integration/search_support.h"
#include "search/endgame.h"
#include "tablebase/tbprobe.h"

using namespace corvix_test;

namespace {

std::string tableDir() { return std::string(CORVIX_TEST_DATA) + "/syzygy"; }

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An engine working in its own directory (with a link to the network file),
// so that its corvix.log is its own.
class TablebaseEngine {
public:
    explicit TablebaseEngine(const std::string &isa) {
        ok_ = symlink(networkFile().c_str(), dir_.file("nn-82215d0fd0df.nnue").c_str()) == 0;
        process_.reset(new Process(programPath(isa), {}, dir_.path()));
        std::vector<std::string> lines;
        ok_ = ok_ && process_->readUntil(TABLE_OK, lines, 20000 * SLOWDOWN);
    }
    bool ok() const { return ok_; }
    Process &process() { return *process_; }
    std::string log() { return readFile(dir_.file("corvix.log")); }
    const TempDir &dir() const { return dir_; }

    // The lines a command prints before "isready" is answered.
    std::vector<std::string> answer(const std::string &command) {
        std::vector<std::string> lines;
        process_->send(command);
        process_->send("isready");
        if (!process_->readUntil("readyok", lines, 30000 * SLOWDOWN)) return {"<no readyok>"};
        lines.pop_back();
        return lines;
    }

    std::vector<std::string> search(const std::string &commands) {
        std::vector<std::string> lines;
        process_->sendRaw(commands + "\n");
        std::string line;
        while (process_->readLine(line, 60000 * SLOWDOWN)) {
            lines.push_back(line);
            if (startsWith(line, "bestmove")) return lines;
        }
        lines.push_back("<no bestmove in time>");
        return lines;
    }

    bool quit() {
        process_->send("quit");
        ExitInfo e = process_->wait(10000 * SLOWDOWN);
        return e.finished && e.exited && e.status == 0;
    }

private:
    TempDir dir_;
    std::unique_ptr<Process> process_;
    bool ok_ = false;
};

class Tablebases : public EngineTest {};

TEST_P(Tablebases, PathOptionReportsAndLogs) {
    TablebaseEngine e(GetParam());
    ASSERT_TRUE(e.ok());
    EXPECT_EQ(e.log(), "");
    EXPECT_EQ(e.answer("setoption name SyzygyPath value " + tableDir()),
              std::vector<std::string>{"info debug Initialisation of Syzygy : success (4 pieces)"});
    EXPECT_EQ(e.log(), "Syzygy ok\n");
    EXPECT_EQ(e.answer("setoption name SyzygyPath value <empty>"),
              std::vector<std::string>{"info debug Initialisation of Syzygy : failure"});
    EXPECT_EQ(e.answer("setoption name SyzygyPath value " + e.dir().path()),
              std::vector<std::string>{"info debug Initialisation of Syzygy : failure"});
    EXPECT_EQ(e.log(), "Syzygy ok\n");
    // Without tables the root is searched.
    std::vector<std::string> lines = e.search("position fen 8/8/8/4k3/8/8/8/3QK3 w - - 0 1\ngo depth 2");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines[0], "info depth 1 "));
    EXPECT_TRUE(e.quit());
}

const std::regex TB_SCORE("info score cp (-?[0-9]+) ");

// The answer the tables give for a position, worked out in this process with
// the engine's own tablebase code: the "info" and "bestmove" lines expected.
std::vector<std::string> expectedRootAnswer(const std::string &fen) {
    static bool ready = false;
    if (!ready) {
        initPosition();
        initAttackTables();
        initSliders();
        initSyzygy(tableDir().c_str());
        ready = true;
    }
    std::fflush(stdout);
    FILE *saved = stdout;
    stdout = std::fopen("/dev/null", "w");
    bool loaded = loadFen(fen.c_str());
    std::fclose(stdout);
    stdout = saved;
    if (!loaded) return {"<bad fen>"};
    updateAttacks();
    generateMoves(GEN_ALL);
    Move move;
    int score;
    if (!probeRootTablebase(&move, &score)) return {"<no answer from the tables>"};
    char text[8];
    return {"info score cp " + std::to_string(score) + " ", std::string("bestmove ") + moveText(move, text)};
}

// Plays a position out with the engine on both sides, one "go" per move,
// each answered from the tables. Returns the number of plies until the side
// to move is mated (-1 when no mate came within the limit).
int playOut(TablebaseEngine &e, const std::string &fen, int limit, int *first_distance) {
    std::string moves;
    int last_winner_distance = 1 << 30;
    for (int ply = 0; ply <= limit; ply++) {
        std::vector<std::string> lines =
            e.search("position fen " + fen + (moves.empty() ? "" : " moves" + moves) + "\ngo depth 3");
        if (lines == std::vector<std::string>{"info string Game over (mate) !", "bestmove 0000"}) return ply;
        EXPECT_EQ(lines.size(), 2u) << fen << moves;
        if (lines.size() != 2) return -1;
        std::smatch m;
        EXPECT_TRUE(std::regex_match(lines[0], m, TB_SCORE)) << lines[0];
        if (m.empty()) return -1;
        int score = std::stoi(m[1]);
        bool winner = ply % 2 == 0;
        // The winner's distance counts down; the loser's mirrors it.
        int distance = winner ? 10000 - score : score + 10000;
        EXPECT_GT(distance, 0) << lines[0];
        EXPECT_LE(distance, 100) << lines[0];
        if (winner) {
            // Distance 1 was a zeroing move (a pawn move): the count starts again.
            if (last_winner_distance == 1) last_winner_distance = 1 << 30;
            EXPECT_LT(distance, last_winner_distance) << fen << moves;
            last_winner_distance = distance;
            if (ply == 0) *first_distance = distance;
        }
        EXPECT_TRUE(startsWith(lines[1], "bestmove ")) << lines[1];
        moves += " " + lines[1].substr(9);
    }
    return -1;
}

TEST_P(Tablebases, RootAnswersAndPlayOuts) {
    TablebaseEngine e(GetParam());
    ASSERT_TRUE(e.ok());
    ASSERT_EQ(e.answer("setoption name SyzygyPath value " + tableDir()),
              std::vector<std::string>{"info debug Initialisation of Syzygy : success (4 pieces)"});
    struct Case {
        const char *name;
        const char *fen;
        bool pawn;
    };
    const Case wins[] = {
        {"KQvK", "8/8/8/4k3/8/8/8/3QK3 w - - 0 1", false},
        {"KRvK", "8/8/8/4k3/8/8/8/R3K3 w - - 0 1", false},
        {"KRvK, black wins", "8/8/8/8/2K5/8/r7/5k2 b - - 0 1", false},
        {"KPvK", "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", true},
    };
    for (const Case &c : wins) {
        SCOPED_TRACE(c.name);
        // The first answer is the tables' own: 10000 less the distance, and
        // the move that keeps it shortest.
        EXPECT_EQ(e.search(std::string("position fen ") + c.fen + "\ngo depth 3"), expectedRootAnswer(c.fen));
        int distance = 0;
        int length = playOut(e, c.fen, 100, &distance);
        ASSERT_GT(length, 0);
        // Without a pawn the distance to zeroing is the distance to mate.
        if (!c.pawn) {
            EXPECT_LE(length, distance);
        }
        EXPECT_EQ(length % 2, 1);  // the winning side gave the mate
    }
    // A drawn position: score 0 and a move, without search.
    std::vector<std::string> lines = e.search("position fen k7/8/8/8/P7/1K6/8/8 w - - 0 1\ngo depth 5");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "info score cp 0 ");
    // Castling rights keep the tables out: the root is searched.
    lines = e.search("position fen 4k3/8/8/8/8/8/8/R3K3 w Q - 0 1\ngo depth 2");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines[0], "info depth 1 "));
    EXPECT_TRUE(e.quit());
}

TEST_P(Tablebases, DamagedFilesDoNotStopTheEngine) {
    TablebaseEngine e(GetParam());
    ASSERT_TRUE(e.ok());
    TempDir bad;
    const std::string good_w = readFile(tableDir() + "/KQvK.rtbw");
    const std::string good_z = readFile(tableDir() + "/KQvK.rtbz");
    ASSERT_FALSE(good_w.empty());
    struct Damage {
        const char *name;
        std::string w, z;
    };
    std::string flipped_w = good_w, flipped_z = good_z;
    for (size_t i = 16; i < flipped_w.size(); i += 7) flipped_w[i] = (char)(flipped_w[i] ^ 0x5a);
    for (size_t i = 16; i < flipped_z.size(); i += 7) flipped_z[i] = (char)(flipped_z[i] ^ 0x5a);
    const Damage damages[] = {
        {"empty files", "", ""},
        {"cut in half", good_w.substr(0, good_w.size() / 2), good_z.substr(0, good_z.size() / 2)},
        {"header only", good_w.substr(0, 4), good_z.substr(0, 4)},
        {"bytes changed", flipped_w, flipped_z},
        {"good WDL, damaged DTZ", good_w, flipped_z},
    };
    for (const Damage &d : damages) {
        SCOPED_TRACE(d.name);
        std::ofstream(bad.file("KQvK.rtbw"), std::ios::binary | std::ios::trunc) << d.w;
        std::ofstream(bad.file("KQvK.rtbz"), std::ios::binary | std::ios::trunc) << d.z;
        e.answer("setoption name SyzygyPath value " + bad.path());
        std::vector<std::string> lines = e.search("position fen 8/8/8/4k3/8/8/8/3QK3 w - - 0 1\ngo depth 4");
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(std::regex_match(lines.back(), std::regex("bestmove [a-h][1-8][a-h][1-8]"))) << lines.back();
        lines = e.search("position fen 8/8/8/4k3/8/8/8/3QK3 b - - 0 1 moves e5d4\ngo depth 4");
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(startsWith(lines.back(), "bestmove ")) << lines.back();
        EXPECT_EQ(e.answer("uci").back(), "uciok");
    }
    EXPECT_TRUE(e.quit());
}

CORVIX_FOR_EACH_BUILD(Tablebases);

}  // namespace
