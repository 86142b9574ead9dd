// A match between two engine set-ups under a clock, the way a GUI or match
// manager plays it: every opening of a fixed list is played once with each
// colour, the clocks are kept here (the wall time from "go" to "bestmove" is
// taken from the mover's clock, then the increment is added), every move is
// checked with the engine's own move generator, and a game ends only by
// mate, stalemate, the fifty-move rule, threefold repetition, insufficient
// material, a loss on time, an illegal or missing move, or a crash.
//
//   match-<isa> -a PROGRAM -b PROGRAM [-A "OPTION=VALUE;..."] [-B "..."]
//               [-d DIR] [-g GAMES] [-t BASE_MS] [-i INC_MS]
//
// PROGRAMs are started in DIR (default: the current directory, which must
// hold the network file). -A and -B are UCI options set before the first
// game ("Threads=2;Hash=64"). The report counts wins, draws and losses of A.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "search/pvs.h"
#include "search/tables.h"

namespace {

long long nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Balanced openings (a few moves of well-known main lines), each played
// once with either colour.
const char *const OPENINGS[] = {
    "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6",          // Ruy Lopez
    "e2e4 e7e5 g1f3 b8c6 f1c4 f8c5",          // Italian
    "e2e4 e7e5 g1f3 g8f6 f3e5 d7d6",          // Petroff
    "e2e4 e7e5 b1c3 g8f6 f2f4 d7d5",          // Vienna
    "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4",          // Sicilian
    "e2e4 c7c5 g1f3 b8c6 d2d4 c5d4",          // Sicilian, Nc6
    "e2e4 c7c5 g1f3 e7e6 d2d4 c5d4",          // Sicilian, e6
    "e2e4 c7c5 b1c3 b8c6 g2g3 g7g6",          // closed Sicilian
    "e2e4 e7e6 d2d4 d7d5 b1c3 g8f6",          // French
    "e2e4 e7e6 d2d4 d7d5 e4e5 c7c5",          // French, advance
    "e2e4 c7c6 d2d4 d7d5 b1c3 d5e4",          // Caro-Kann
    "e2e4 c7c6 d2d4 d7d5 e4e5 c8f5",          // Caro-Kann, advance
    "e2e4 d7d6 d2d4 g8f6 b1c3 g7g6",          // Pirc
    "e2e4 g7g6 d2d4 f8g7 b1c3 d7d6",          // Modern
    "e2e4 d7d5 e4d5 d8d5 b1c3 d5a5",          // Scandinavian
    "e2e4 g8f6 e4e5 f6d5 d2d4 d7d6",          // Alekhine
    "d2d4 d7d5 c2c4 e7e6 b1c3 g8f6",          // Queen's Gambit Declined
    "d2d4 d7d5 c2c4 c7c6 g1f3 g8f6",          // Slav
    "d2d4 d7d5 c2c4 d5c4 g1f3 g8f6",          // Queen's Gambit Accepted
    "d2d4 g8f6 c2c4 e7e6 b1c3 f8b4",          // Nimzo-Indian
    "d2d4 g8f6 c2c4 e7e6 g1f3 b7b6",          // Queen's Indian
    "d2d4 g8f6 c2c4 g7g6 b1c3 f8g7",          // King's Indian
    "d2d4 g8f6 c2c4 g7g6 b1c3 d7d5",          // Grünfeld
    "d2d4 g8f6 c2c4 c7c5 d4d5 e7e6",          // Benoni
    "d2d4 f7f5 g2g3 g8f6 f1g2 g7g6",          // Dutch
    "d2d4 g8f6 g1f3 e7e6 c1g5 h7h6",          // Torre
    "d2d4 d7d5 g1f3 g8f6 c1f4 c7c5",          // London
    "c2c4 e7e5 b1c3 g8f6 g1f3 b8c6",          // English, four knights
    "c2c4 c7c5 g1f3 g8f6 b1c3 b8c6",          // English, symmetrical
    "c2c4 g8f6 b1c3 e7e6 e2e4 d7d5",          // English, Mikenas
    "g1f3 d7d5 g2g3 g8f6 f1g2 c7c6",          // Réti
    "g1f3 g8f6 c2c4 b7b6 g2g3 c8b7",          // Réti, double fianchetto
    "e2e4 e7e5 f2f4 e5f4 g1f3 g7g5",          // King's Gambit
    "e2e4 e7e5 g1f3 b8c6 d2d4 e5d4",          // Scotch
    "e2e4 e7e5 g1f3 b8c6 b1c3 g8f6",          // Four knights
    "e2e4 c7c5 c2c3 g8f6 e4e5 f6d5",          // Alapin
    "d2d4 d7d5 c2c4 e7e6 g1f3 c7c5",          // Tarrasch
    "d2d4 g8f6 c2c4 e7e5 d4e5 f6g4",          // Budapest
    "d2d4 e7e6 c2c4 f8b4 c1d2 d8e7",          // Bogo-Indian
    "b2b3 e7e5 c1b2 b8c6 e2e3 g8f6",          // Larsen
    "e2e4 e7e5 g1f3 d7d6 d2d4 g8f6",          // Philidor
    "e2e4 c7c5 g1f3 g7g6 d2d4 c5d4",          // Accelerated dragon
    "d2d4 g8f6 c2c4 c7c5 d4d5 b7b5",          // Benko
    "e2e4 e7e6 d2d4 d7d5 b1d2 c7c5",          // French, Tarrasch
    "d2d4 d7d5 c2c4 c7c6 b1c3 e7e6",          // Semi-Slav
    "g2g3 d7d5 f1g2 e7e5 d2d3 g8f6",          // King's fianchetto
    "e2e4 b7b6 d2d4 c8b7 f1d3 e7e6",          // Owen
    "c2c4 e7e6 g1f3 d7d5 g2g3 g8f6",          // English, Catalan set-up
    "d2d4 g8f6 c2c4 e7e6 g2g3 d7d5",          // Catalan
    "e2e4 e7e5 g1f3 b8c6 f1c4 g8f6",          // Two knights
};
constexpr int OPENING_COUNT = sizeof OPENINGS / sizeof OPENINGS[0];

// One engine over pipes.
class Engine {
public:
    Engine(const std::string &program, const std::string &dir) {
        int to_child[2], from_child[2];
        if (pipe(to_child) || pipe(from_child)) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(to_child[0], 0);
            dup2(from_child[1], 1);
            close(to_child[1]);
            close(from_child[0]);
            if (chdir(dir.c_str()) != 0) _exit(127);
            execl(program.c_str(), program.c_str(), (char *)nullptr);
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        in_ = to_child[1];
        out_ = from_child[0];
    }
    ~Engine() {
        if (pid_ > 0) {
            send("quit");
            close(in_);
            // Give it a moment to end by itself, then make sure.
            for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; i++) usleep(20000);
            if (waitpid(pid_, nullptr, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
            close(out_);
        }
    }
    bool send(const std::string &line) {
        std::string text = line + "\n";
        return write(in_, text.data(), text.size()) == (ssize_t)text.size();
    }
    // The next line, false when none came within timeout_ms or the output ended.
    bool readLine(std::string &line, long long timeout_ms) {
        long long deadline = nowMs() + timeout_ms;
        for (;;) {
            size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            long long left = deadline - nowMs();
            if (left <= 0) return false;
            struct pollfd p = {out_, POLLIN, 0};
            if (poll(&p, 1, (int)left) <= 0) continue;
            char chunk[4096];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer_.append(chunk, (size_t)n);
        }
    }
    bool waitFor(const std::string &prefix, std::string &line, long long timeout_ms) {
        long long deadline = nowMs() + timeout_ms;
        while (readLine(line, deadline - nowMs()))
            if (line.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
};

// King against king, or against king and one minor piece, or bishops alone
// all on squares of one colour: no mate can arise.
bool insufficientMaterial() {
    const Ply *p = curr_ply;
    u64 heavy = 0, knights = 0, bishops = 0;
    for (int c = BLACK; c <= WHITE; c++) {
        heavy |= p->side[c].pieces[PAWN] | p->side[c].pieces[ROOK] | p->side[c].pieces[QUEEN];
        knights |= p->side[c].pieces[KNIGHT];
        bishops |= p->side[c].pieces[BISHOP];
    }
    if (heavy) return false;
    const int minors = popCount(knights | bishops);
    if (minors <= 1) return true;
    constexpr u64 DARK = 0xaa55aa55aa55aa55ULL;
    return knights == 0 && ((bishops & DARK) == 0 || (bishops & ~DARK) == 0);
}

struct Player {
    std::string program, options;
    Engine *engine = nullptr;
};

bool setUp(Player &s, const std::string &dir) {
    delete s.engine;
    s.engine = new Engine(s.program, dir);
    std::string line;
    size_t at = 0;
    while (at < s.options.size()) {
        size_t end = s.options.find(';', at);
        std::string item = s.options.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t eq = item.find('=');
        if (eq != std::string::npos)
            s.engine->send("setoption name " + item.substr(0, eq) + " value " + item.substr(eq + 1));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    s.engine->send("isready");
    return s.engine->waitFor("readyok", line, 30000);
}

struct Outcome {
    int score;  // for white: 1 win, 0 draw, -1 loss
    std::string reason;
    bool time_loss = false, illegal = false, failure = false;
};

Outcome playGame(Player &white, Player &black, const std::string &opening, long long base_ms, long long inc_ms,
                 std::string &moves) {
    loadFen(START_FEN);
    moves.clear();
    for (size_t at = 0; at < opening.size();) {
        size_t end = opening.find(' ', at);
        std::string text = opening.substr(at, end == std::string::npos ? std::string::npos : end - at);
        updateAttacks();
        generateMoves(GEN_ALL);
        Move m = parseMove(text.c_str());
        if (!m) return {0, "bad opening move " + text, false, false, true};
        makeMove(m);
        moves += " " + text;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    for (Player *s : {&white, &black}) {
        std::string line;
        s->engine->send("ucinewgame");
        s->engine->send("isready");
        if (!s->engine->waitFor("readyok", line, 30000)) return {0, "no readyok", false, false, true};
    }
    long long clock[2] = {base_ms, base_ms};  // [BLACK], [WHITE]
    for (int ply = 0;; ply++) {
        updateAttacks();
        generateMoves(GEN_ALL);
        const int side = curr_ply->us->info->colour;
        if (curr_ply->generated == 0) {
            if (curr_ply->us->attacks[ATK_CHECKERS]) return {side == WHITE ? -1 : 1, "mate"};
            return {0, "stalemate"};
        }
        if (curr_ply->halfmove >= 100) return {0, "fifty moves"};
        if (isDraw()) return {0, "repetition"};
        if (insufficientMaterial()) return {0, "insufficient material"};
        // Far beyond any real game: something is wrong.
        if (ply >= 1000) return {0, "1000 plies", false, false, true};

        Player &mover = side == WHITE ? white : black;
        const int loser = side == WHITE ? -1 : 1;
        mover.engine->send("position startpos moves" + moves);
        const long long start = nowMs();
        mover.engine->send("go wtime " + std::to_string(clock[WHITE]) + " btime " + std::to_string(clock[BLACK]) +
                           " winc " + std::to_string(inc_ms) + " binc " + std::to_string(inc_ms));
        std::string line;
        const bool answered = mover.engine->waitFor("bestmove ", line, clock[side] + 5000);
        const long long used = nowMs() - start;
        if (!answered) return {loser, "no bestmove", false, false, true};
        clock[side] -= used;
        if (clock[side] < 0) return {loser, "time loss (" + std::to_string(used) + " ms)", true};
        clock[side] += inc_ms;
        std::string text = line.substr(9);
        text = text.substr(0, text.find(' '));
        Move m = parseMove(text.c_str());
        if (!m) return {loser, "illegal move " + text, false, true};
        makeMove(m);
        moves += " " + text;
    }
}

}  // namespace

int main(int argc, char **argv) {
    Player a, b;
    std::string dir = ".";
    int games = 100;
    long long base_ms = 5000, inc_ms = 50;
    int opt;
    while ((opt = getopt(argc, argv, "a:b:A:B:d:g:t:i:")) != -1) {
        switch (opt) {
        case 'a': a.program = optarg; break;
        case 'b': b.program = optarg; break;
        case 'A': a.options = optarg; break;
        case 'B': b.options = optarg; break;
        case 'd': dir = optarg; break;
        case 'g': games = std::atoi(optarg); break;
        case 't': base_ms = std::atoll(optarg); break;
        case 'i': inc_ms = std::atoll(optarg); break;
        default: return 2;
        }
    }
    if (a.program.empty() || b.program.empty()) {
        std::fprintf(stderr, "usage: %s -a PROGRAM -b PROGRAM [-A OPTIONS] [-B OPTIONS] [-d DIR] [-g GAMES] "
                             "[-t BASE_MS] [-i INC_MS]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    initPosition();
    initAttackTables();
    initSliders();
    initMoveCentrality();

    if (!setUp(a, dir) || !setUp(b, dir)) {
        std::fprintf(stderr, "an engine did not start\n");
        return 1;
    }
    int wins = 0, draws = 0, losses = 0, time_losses = 0, illegal = 0, failures = 0;
    for (int g = 0; g < games; g++) {
        const char *opening = OPENINGS[(g / 2) % OPENING_COUNT];
        const bool a_white = g % 2 == 0;
        Player &white = a_white ? a : b, &black = a_white ? b : a;
        std::string moves;
        Outcome o = playGame(white, black, opening, base_ms, inc_ms, moves);
        const int for_a = a_white ? o.score : -o.score;
        if (for_a > 0) wins++;
        else if (for_a < 0) losses++;
        else draws++;
        if (o.time_loss) time_losses++;
        if (o.illegal) illegal++;
        if (o.failure) failures++;
        std::printf("game %3d  A %s  %s  %-22s  after %s\n", g + 1, a_white ? "white" : "black",
                    o.score > 0 ? "1-0" : o.score < 0 ? "0-1" : "1/2", o.reason.c_str(), opening);
        if (o.time_loss || o.illegal || o.failure) std::printf("          moves:%s\n", moves.c_str());
        const double n = wins + draws + losses, points = wins + 0.5 * draws;
        std::printf("          A: +%d =%d -%d  %.1f/%d\n", wins, draws, losses, points, (int)n);
        std::fflush(stdout);
        // An engine that failed starts afresh.
        if (o.failure || o.illegal) {
            if (!setUp(a, dir) || !setUp(b, dir)) {
                std::fprintf(stderr, "an engine did not start again\n");
                return 1;
            }
        }
    }
    const double n = wins + draws + losses, points = wins + 0.5 * draws;
    const double score = n ? points / n : 0.5;
    double elo = 0;
    if (score > 0 && score < 1) elo = -400.0 * std::log10(1.0 / score - 1.0);
    std::printf("\nA (%s %s) against B (%s %s), %d games at %lld+%lld ms:\n", a.program.c_str(), a.options.c_str(),
                b.program.c_str(), b.options.c_str(), (int)n, base_ms, inc_ms);
    std::printf("A: +%d =%d -%d, %.1f points of %d (%.1f%%, about %+.0f Elo)\n", wins, draws, losses, points, (int)n,
                100 * score, elo);
    std::printf("time losses %d, illegal moves %d, other failures %d\n", time_losses, illegal, failures);
    delete a.engine;
    delete b.engine;
    return 0;
}
