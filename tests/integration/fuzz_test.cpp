// Fuzzing the protocol with seeded command scripts. Each script mixes valid
// commands with broken FENs and move lists, odd numbers, damaged and missing
// table files, long and binary lines, and "stop"/"isready" sent while a
// search runs. One engine process runs each script; it must not crash or
// report a sanitizer error, must answer every search with exactly one
// "bestmove" that is legal in its position (by the engine's own move
// generator in this process, which follows every "position" command the way
// the engine takes or refuses it), answer "0000" only where no move is legal,
// answer the final "isready", and end with status 0 on "quit".
//
// The time spent is bounded: CORVIX_FUZZ_SECONDS (default 30 in the sanitized
// build, 4 otherwise) per build. A failing script is printed with its seed;
// CORVIX_FUZZ_SEED=<seed> CORVIX_FUZZ_SCRIPTS=1 replays exactly that script
// (the table damage comes from the same seed).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "integration/referee_board.h"
#include "integration/search_support.h"

using namespace corvix_test;
namespace fs = std::filesystem;

namespace {

typedef std::mt19937_64 Random;

// ---------------------------------------------------------------------------
// Scripts
// ---------------------------------------------------------------------------

struct Step {
    std::string line;            // without its line end
    std::string ending = "\n";   // "\n" or "\r\n"
    int interrupt_after_ms = -1; // >= 0: interrupt is sent this long after the line
    std::string interrupt;       // lines sent while the search runs (each with "\n")
};

struct Script {
    unsigned long long seed;
    std::vector<Step> steps;
};

std::string escaped(const std::string &text, size_t max = 300) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < max; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c == '\\') out += "\\\\";
        else if (c >= 32 && c < 127) out += (char)c;
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (text.size() > max) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::string describeScript(const Script &script) {
    std::string text = "seed " + std::to_string(script.seed) + ", " + std::to_string(script.steps.size()) +
                       " lines (replay: CORVIX_FUZZ_SEED=" + std::to_string(script.seed) + " CORVIX_FUZZ_SCRIPTS=1):\n";
    for (const Step &s : script.steps) {
        text += "  > " + escaped(s.line) + (s.ending == "\r\n" ? "\\r" : "");
        if (s.interrupt_after_ms >= 0)
            text += "    [after " + std::to_string(s.interrupt_after_ms) + " ms: " + escaped(s.interrupt) + "]";
        text += "\n";
    }
    return text;
}

// ---------------------------------------------------------------------------
// What the engine makes of a line: its reading rules and dispatch table
// ---------------------------------------------------------------------------

constexpr size_t COMMAND_MAX = 8191;
constexpr size_t POSITION_MAX = (1u << 20) - 1;

// The command as readCommand leaves it (raw: the bytes before the line feed).
std::string normalised(const std::string &raw) {
    std::string b;
    bool blank_run = false;
    for (size_t i = 0; i < raw.size(); i++) {
        char c = raw[i];
        if (c == '\r' && i + 1 == raw.size()) break;  // CR LF ending
        if (c == ' ' || c == '\t') {
            if (!b.empty() && !blank_run) {
                b += ' ';
                blank_run = true;
            }
        } else {
            b += c;
            blank_run = false;
        }
        bool position = b.compare(0, 9, "position ") == 0;
        if (b.size() == COMMAND_MAX && !position) break;
        if (b.size() == POSITION_MAX) return "";  // refused whole
    }
    if (!b.empty() && b.back() == ' ') b.pop_back();
    return b.substr(0, b.find('\0'));  // handlers see a C string
}

enum class Kind { NOTHING, POSITION, NEW_GAME, ISREADY, SEARCH, QUIT, BENCH };

Kind kindOf(const std::string &command) {
    auto contains = [&](const char *text) { return command.find(text) != std::string::npos; };
    if (command.empty() || command == "stop" || command == "uci") return Kind::NOTHING;
    if (command.compare(0, 15, "setoption name ") == 0) return Kind::NOTHING;
    if (contains("setoption name Hash value ") || contains("setoption name SyzygyPath value ")) return Kind::NOTHING;
    if (command == "isready") return Kind::ISREADY;
    if (command == "ucinewgame") return Kind::NEW_GAME;
    if (contains("position startpos") || contains("position fen ")) return Kind::POSITION;
    if (contains("eval")) return Kind::NOTHING;
    if (contains("go")) return Kind::SEARCH;
    if (command == "bench") return Kind::BENCH;
    if (command == "quit") return Kind::QUIT;
    return Kind::NOTHING;
}

// ---------------------------------------------------------------------------
// The generator
// ---------------------------------------------------------------------------

const char *const FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1",            // mate
    "7k/5Q2/8/8/8/8/8/6K1 b - - 0 1",               // stalemate
    "rnb1kbnr/pppp1ppp/8/4p3/5PPq/8/PPPPP2P/RNBQKBNR w KQkq - 1 3",  // mate
    "8/8/8/4k3/8/8/8/4K3 w - - 0 1",                // bare kings
    "8/8/8/4k3/8/8/8/R3K3 w - - 100 90",            // fifty moves
    "8/8/8/4k3/8/8/r7/R3K3 w - - 150 90",           // fifty moves, a capture resets
    "7k/8/6K1/8/8/8/P7/1R6 b - - 0 1",              // a single reply
    "8/4P1k1/8/8/8/8/8/4K3 w - - 0 1",              // promotion
    "1r5k/P7/8/8/8/8/8/K7 w - - 0 1",
    "8/8/8/4k3/8/8/3QK3/8 w - - 0 1",               // tables: KQvK
    "8/8/4k3/8/8/8/3PK3/8 w - - 0 1",               // KPvK
    "8/8/8/2k5/8/8/1BN1K3/8 w - - 0 1",             // KBNvK
    "8/3r4/8/2k5/8/8/3RK3/8 b - - 0 1",             // KRvKR
    "4k3/8/8/8/8/8/4P3/4K2R w K - 0 1",             // table size, but castling
    "8/8/1p6/8/2K5/8/8/k7 w - - 0 60",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/8/8/8/5k2/4p3/4K3 w - - 0 1",
};
const size_t FEN_COUNT = sizeof FENS / sizeof FENS[0];

const char *const BAD_FENS[] = {
    "8/8/8/8/8/8/8/8 w - - 0 1",
    "kkkkkkkk/8/8/8/8/8/8/KKKKKKKK w - - 0 1",
    "9/8/8/8/8/8/8/K1k5 w - - 0 1",
    "8/8/8/8/8/8/8/K1k5 w - - -1 1",
    "P7/8/8/8/8/8/8/K1k5 w - - 0 1",
    "8/8/8/8/8/8/8/K1k5 x - - 0 1",
    "8/8/8/8/8/8/8/Kqk5 b - - 0 1",
    "8/8/8/8/8/8/8/K1k5",
    "8/8/8/8/8/8/8/K1k5 w",
    "8/8/8/8/8/8/8/K1k5 w - - 0",
    "QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/K1k5 w - - 0 1",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e9 0 1",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 9999999999 1",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 999999999 1",
    "",
    "moves e2e4",
};

const char *const ODD_NUMBERS[] = {
    "0", "1", "-1", "3", "10", "200", "999", "-0", "+5", "0x10", "010", "abc", "18446744073709551615",
    "18446744073709551616", "99999999999999999999", "-9223372036854775808", "1e3", "", "2147483648", " 7",
};

const char *const BAD_MOVES[] = {"e2e5", "e7", "a1a1", "e7e8k", "e2e4e", "E2E4", "0000", "e1g1", "zz99",
                                 "\x1b[1m", "moves", "h7h8q", "a2a4a", "e8c8", "\xff\xfe", "g1f3\r"};

class Generator {
public:
    Generator(unsigned long long seed, const std::vector<std::string> &table_dirs)
        : random_(seed), table_dirs_(table_dirs) {}

    Script script(unsigned long long seed) {
        Script s{seed, {}};
        int length = 12 + (int)pick(30);
        for (int i = 0; i < length; i++) s.steps.push_back(step());
        return s;
    }

private:
    size_t pick(size_t n) { return (size_t)(random_() % n); }
    bool chance(int percent) { return (int)pick(100) < percent; }
    template <typename T, size_t N>
    const T &oneOf(const T (&items)[N]) { return items[pick(N)]; }

    Step step() {
        Step s;
        int roll = (int)pick(100);
        if (roll < 30) s.line = position();
        else if (roll < 55) goStep(s);
        else if (roll < 63) s.line = option();
        else if (roll < 68) s.line = "isready";
        else if (roll < 71) s.line = "ucinewgame";
        else if (roll < 74) s.line = "uci";
        else if (roll < 77) s.line = "stop";
        else if (roll < 80) s.line = std::string("perft ") + oneOf(PERFT_DEPTHS);
        else if (roll < 83) s.line = chance(50) ? "eval" : "debug";
        else if (roll < 93) s.line = junk(true);
        else s.line = oneOf(ODD_LINES);
        if (chance(10)) s.ending = "\r\n";
        if (chance(5)) s.line = spaced(s.line);
        return s;
    }

    // Blanks and tabs added between words and around the line.
    std::string spaced(const std::string &line) {
        std::string out = chance(50) ? " \t " : "";
        for (char c : line) out += c == ' ' ? std::string(1 + pick(3), chance(50) ? ' ' : '\t') : std::string(1, c);
        return out + (chance(50) ? "\t " : "");
    }

    // A line of arbitrary bytes (no line feed); without lower-case letters it
    // can be no command. Some are long, beyond the command limit.
    std::string junk(bool any_letters) {
        size_t size = chance(85) ? 1 + pick(60) : chance(70) ? 100 + pick(400) : 8000 + pick(12000);
        std::string text;
        for (size_t i = 0; i < size; i++) {
            char c;
            do c = (char)pick(256);
            while (c == '\n' || (!any_letters && c >= 'a' && c <= 'z'));
            text += c;
        }
        return text;
    }

    // "position ..." lines: games played from a FEN, broken FENs, broken moves.
    std::string position() {
        int roll = (int)pick(100);
        if (roll < 2) return longGame(chance(20));
        std::string fen;
        bool broken = false;
        if (roll < 12) {
            fen = oneOf(BAD_FENS);
            broken = true;
        } else if (roll < 27) {
            fen = mutated(FENS[pick(FEN_COUNT)]);
            broken = true;
        } else {
            fen = FENS[pick(FEN_COUNT)];
        }
        std::string line = !broken && fen == FENS[0] && chance(50) ? "position startpos" : "position fen " + fen;
        if (chance(70)) line += " moves" + moveList(broken ? FENS[0] : fen);
        return line;
    }

    // Up to 40 legal moves from the FEN, now and then with a bad one among them.
    std::string moveList(const std::string &fen) {
        std::string text;
        initRefereeBoard();
        if (!refereePosition("position fen " + fen)) return " e2e4";
        int length = (int)pick(40);
        int bad_at = chance(25) ? (int)pick((size_t)length + 1) : -1;
        int played = 0;
        for (int i = 0; i <= length; i++) {
            if (i == bad_at) text += std::string(" ") + oneOf(BAD_MOVES);
            if (i == length) break;
            updateAttacks();
            generateMoves(GEN_ALL);
            if (curr_ply->generated == 0) break;
            Move m = curr_ply->moves[pick((size_t)curr_ply->generated)];
            char buf[8];
            text += std::string(" ") + moveText(m, buf);
            makeMove(m);
            played++;
        }
        for (int i = 0; i < played; i++) undoMove();
        if (text.empty() && chance(30)) return "";
        return text;
    }

    // Knights out and back: thousands of plies, or (rarely) more than the
    // longest command and refused whole.
    std::string longGame(bool too_long) {
        size_t cycles = too_long ? 52500 : 100 + pick(1000);
        std::string line = "position startpos moves";
        for (size_t i = 0; i < cycles; i++) line += " g1f3 g8f6 f3g1 f6g8";
        if (chance(50)) line += " e2e4";
        return line;
    }

    std::string mutated(std::string fen) {
        static const char CHARS[] = "pnbrqkPNBRQK12345678/ wb-KQkqa-h09x\x01\x1b\xff";
        int mutations = 1 + (int)pick(3);
        for (int i = 0; i < mutations && !fen.empty(); i++) {
            size_t at = pick(fen.size());
            switch (pick(6)) {
            case 0: fen[at] = CHARS[pick(sizeof CHARS - 1)]; break;
            case 1: fen.erase(at, 1); break;
            case 2: fen.insert(at, 1, fen[at]); break;
            case 3: fen.resize(at); break;
            case 4: fen.insert(at, " " + std::string(oneOf(ODD_NUMBERS)) + " "); break;
            default: fen.insert(at, 1, CHARS[pick(sizeof CHARS - 1)]); break;
            }
        }
        return fen;
    }

    // A search command, sometimes with "stop", "isready" or a stray line sent
    // while it runs; searches that could run long always get one.
    void goStep(Step &s) {
        bool needs_interrupt = false;
        switch (pick(12)) {
        case 0: s.line = "go"; needs_interrupt = true; break;
        case 1: s.line = "go infinite"; needs_interrupt = true; break;
        case 2: s.line = std::string("go depth ") + oneOf(SHALLOW_DEPTHS); break;
        case 3: s.line = "go depth 99"; needs_interrupt = true; break;
        case 4: s.line = std::string("go movetime ") + oneOf(MOVETIMES); break;
        case 5: s.line = std::string("go movetime ") + oneOf(ODD_NUMBERS); needs_interrupt = true; break;
        case 6: case 7: case 8: {
            // A game clock, small or odd.
            large_clock_ = false;
            std::string t = clockValue(), u = clockValue();
            s.line = "go wtime " + t + " btime " + u;
            if (chance(60)) s.line += " winc " + clockValue() + " binc " + clockValue();
            if (chance(40)) s.line += std::string(" movestogo ") + oneOf(ODD_NUMBERS);
            needs_interrupt = large_clock_;
            break;
        }
        case 9:
            s.line = oneOf(OTHER_GOS);
            // Endless until told: pondering, infinite, a mate that may not exist.
            needs_interrupt = s.line == "go ponder" || s.line == "go mate 2" || s.line == "go infinite searchmoves e2e4";
            break;
        case 10: s.line = "go wtime " + std::string(oneOf(ODD_NUMBERS)) + " btime " + oneOf(ODD_NUMBERS); needs_interrupt = true; break;
        default: s.line = std::string("go depth ") + oneOf(SHALLOW_DEPTHS) + " " + junk(false).substr(0, 20); break;
        }
        if (needs_interrupt || chance(30)) {
            s.interrupt_after_ms = (int)pick(300);
            // "isready" and "ponderhit" are answered during the search without
            // ending it; a search that would not end by itself also gets a
            // line that ends it.
            switch (pick(6)) {
            case 0: s.interrupt = "stop\n"; break;
            case 1: s.interrupt = needs_interrupt ? "isready\nstop\n" : "isready\n"; break;
            case 2: s.interrupt = "stop\nisready\n"; break;
            case 3: s.interrupt = needs_interrupt ? "ponderhit\nisready\nstop\n" : "ponderhit\n"; break;
            default: s.interrupt = junk(false) + "\n"; break;
            }
        }
    }

    std::string clockValue() {
        if (chance(20)) {
            large_clock_ = true;
            return oneOf(ODD_NUMBERS);
        }
        return std::to_string(pick(3000));
    }

    std::string option() {
        static const char *const HASH_NAMES[] = {"Hash", "hash", "HASH", "hAsH"};
        static const char *const HASH_VALUES[] = {"1", "2", "16", "32", "0", "3", "100", "65537", "-1", "abc",
                                                  "0x10", "99999999999", "8 MB", "\x1b[1m"};
        static const char *const THREAD_VALUES[] = {"1", "2", "3", "4", "0", "257", "-1", "two", "0x2"};
        int roll = (int)pick(100);
        if (roll < 30) return std::string("setoption name ") + oneOf(HASH_NAMES) + " value " + oneOf(HASH_VALUES);
        if (roll < 45) return std::string(chance(80) ? "setoption name Threads value " : "setoption name threads value ") +
                              oneOf(THREAD_VALUES);
        if (roll < 80) {
            std::string path;
            switch (pick(6)) {
            case 0: path = "<empty>"; break;
            case 1: path = "/no/such/dir"; break;
            case 2: path = table_dirs_[0] + ":" + table_dirs_[1 + pick(table_dirs_.size() - 1)]; break;
            case 3: path = junk(false).substr(0, 30); break;
            default: path = table_dirs_[pick(table_dirs_.size())]; break;
            }
            return std::string(chance(80) ? "setoption name SyzygyPath value " : "setoption name syzygypath value ") +
                   path;
        }
        return oneOf(ODD_OPTIONS);
    }

    static constexpr const char *PERFT_DEPTHS[] = {"1", "2", "3", "0", "-1", "61", "x", "0x2"};
    static constexpr const char *SHALLOW_DEPTHS[] = {"1", "2", "3", "4", "0", "-3", "0x3", "+2", "abc", ""};
    static constexpr const char *MOVETIMES[] = {"0", "1", "10", "50", "150", "-5"};
    static constexpr const char *OTHER_GOS[] = {"go nodes 5000", "go mate 2", "go ponder", "go searchmoves e2e4 d2d4",
                                                "go infinite searchmoves e2e4", "cargo", "isready go", "go depth x",
                                                "go movetime x", "go wtime", "go btime 100 wtime"};
    static constexpr const char *ODD_LINES[] = {"stop now", "debug on", "quit now", "isready now", "ucinew",
                                                "position", "fen 8/8/8/8/8/8/8/K1k5 w - - 0 1", "medieval", "xperft",
                                                "UCI", "Stop", "go\x01", "position startpos moves", "position fen",
                                                "position fen  moves e2e4", "setoption", "setoption name",
                                                "\r", "\r\r", "\t", "\xef\xbb\xbfuci"};
    static constexpr const char *ODD_OPTIONS[] = {"setoption name Hash value", "setoption name Hash",
                                                  "setoption name Foo value 1", "setoption name Foo value go",
                                                  "xx setoption name Hash value 32", "setoption name  Hash value 2",
                                                  "setoption name SyzygyPath value", "setoption name Clear Hash"};

    Random random_;
    const std::vector<std::string> &table_dirs_;
    bool large_clock_ = false;
};

// ---------------------------------------------------------------------------
// Table directories: the test tables, and copies damaged by the seed
// ---------------------------------------------------------------------------

void damageCopy(const std::string &from, const std::string &to, Random &random) {
    fs::create_directories(to);
    for (const auto &entry : fs::directory_iterator(from)) {
        std::string target = to + "/" + entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (random() % 3 == 0 && !bytes.empty()) {
            switch (random() % 6) {
            case 0: bytes.resize(random() % bytes.size()); break;                   // cut short
            case 1: for (int i = 0; i < 20; i++) bytes[random() % bytes.size()] ^= (char)(1 + random() % 255); break;
            case 2: {                                                               // a zeroed stretch
                size_t at = random() % bytes.size();
                std::fill(bytes.begin() + (long)at, bytes.begin() + (long)std::min(bytes.size(), at + 4096), '\0');
                break;
            }
            case 3: for (size_t i = 4; i < std::min<size_t>(bytes.size(), 64); i++) bytes[i] = (char)random(); break;
            case 4: continue;                                                       // missing
            default: bytes += std::string(random() % 200, '\x55'); break;           // too long
            }
        }
        std::ofstream(target, std::ios::binary).write(bytes.data(), (std::streamsize)bytes.size());
    }
}

// ---------------------------------------------------------------------------
// Running a script
// ---------------------------------------------------------------------------

class ScriptRun {
public:
    explicit ScriptRun(const std::string &isa) : process_(programPath(isa), {}, binaryDir()) {}

    // Empty on success, else what went wrong.
    std::string play(const Script &script) {
        std::vector<std::string> ignored;
        if (!process_.readUntil(TABLE_OK, ignored, 30000 * SLOWDOWN)) return "no start-up report";
        initRefereeBoard();
        refereeNewGame();
        for (const Step &step : script.steps) {
            if (!process_.sendRaw(step.line + step.ending)) return "the engine stopped reading input";
            const std::string command = normalised(step.line + (step.ending == "\r\n" ? "\r" : ""));
            switch (kindOf(command)) {
            case Kind::POSITION: refereePosition(command); break;
            case Kind::NEW_GAME: refereeNewGame(); break;
            case Kind::ISREADY: expected_readyok_++; break;
            case Kind::SEARCH: {
                std::string fault = search(step);
                if (!fault.empty()) return fault;
                break;
            }
            case Kind::QUIT: case Kind::BENCH: return "the generator wrote " + command;
            case Kind::NOTHING: break;
            }
        }
        // Everything answered: "isready" last, then "quit".
        if (!process_.send("isready")) return "the engine stopped reading input";
        expected_readyok_++;
        std::string line;
        while (readyok_ < expected_readyok_) {
            if (!readLine(line, 60000 * SLOWDOWN)) return "no readyok at the end";
            if (line.rfind("bestmove", 0) == 0) return "bestmove without a search: " + line;
        }
        process_.send("quit");
        ExitInfo exit = process_.wait(30000 * SLOWDOWN);
        if (!(exit.finished && exit.exited && exit.status == 0)) return "quit ended the engine with " + describe(exit);
        return "";
    }

    const std::string &errorText() { return process_.errorText(); }
    int searches() const { return searches_; }
    const std::vector<std::string> &tail() const { return tail_; }

private:
    bool readLine(std::string &line, int timeout_ms) {
        if (!process_.readLine(line, timeout_ms)) return false;
        if (line == "readyok") readyok_++;
        tail_.push_back(line.substr(0, 200));
        if (tail_.size() > 12) tail_.erase(tail_.begin());
        return true;
    }

    // Waits for the one "bestmove" of a search and checks it.
    std::string search(const Step &step) {
        searches_++;
        const std::string fen = refereeFen();
        long long start = nowMs();
        bool interrupted = step.interrupt_after_ms < 0;
        bool stopped = false;
        std::string line;
        for (;;) {
            int wait = 20;
            if (!interrupted) {
                long long until = start + step.interrupt_after_ms - nowMs();
                if (until <= 0) {
                    if (!process_.sendRaw(step.interrupt)) return "the engine stopped reading input";
                    for (size_t at = step.interrupt.find("isready"); at != std::string::npos;
                         at = step.interrupt.find("isready", at + 1))
                        expected_readyok_++;
                    interrupted = true;
                    continue;
                }
                wait = (int)until;
            } else if (!stopped && nowMs() - start > 15000) {
                // Longer than the searches here take (a position whose
                // quiescence search explodes can run for minutes): a line
                // must end it.
                if (!process_.send("stop")) return "the engine stopped reading input";
                stopped = true;
            } else if (stopped && nowMs() - start > 15000 + 15000LL * SLOWDOWN) {
                return "no bestmove, not even after \"stop\" (" + fen + ")";
            }
            if (!readLine(line, wait)) {
                if (process_.outputEnded()) return "the engine ended during a search";
                continue;
            }
            if (line.rfind("bestmove", 0) != 0) continue;
            std::string move = line.size() > 9 ? line.substr(9) : "";
            if (move == "0000") {
                if (refereeHasMoves()) return "bestmove 0000 with legal moves (" + fen + ")";
            } else if (!refereeLegal(move)) {
                return "illegal " + line + " (" + fen + ")";
            }
            break;
        }
        // Lines sent during the search are read by the engine afterwards.
        if (!interrupted) {
            if (!process_.sendRaw(step.interrupt)) return "the engine stopped reading input";
            for (size_t at = step.interrupt.find("isready"); at != std::string::npos; at = step.interrupt.find("isready", at + 1))
                expected_readyok_++;
        }
        return "";
    }

    Process process_;
    int readyok_ = 0, expected_readyok_ = 0, searches_ = 0;
    std::vector<std::string> tail_;
};

bool sanitizerReport(const std::string &err) {
    for (const char *mark : {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:",
                             "Assertion", "ERROR:"})
        if (err.find(mark) != std::string::npos) return true;
    return false;
}

long long envNumber(const char *name, long long fallback) {
    const char *v = std::getenv(name);
    return v && *v ? std::atoll(v) : fallback;
}

class Fuzz : public EngineTest {};

TEST_P(Fuzz, SeededCommandScripts) {
    const long long seconds = envNumber("CORVIX_FUZZ_SECONDS", SANITIZED ? 30 : 4);
    const long long max_scripts = envNumber("CORVIX_FUZZ_SCRIPTS", -1);
    const std::vector<std::string> &isas = testedIsas();
    const long long isa_index = std::find(isas.begin(), isas.end(), GetParam()) - isas.begin();
    const unsigned long long first_seed =
        (unsigned long long)envNumber("CORVIX_FUZZ_SEED", 1000000 * (1 + isa_index));

    TempDir dir;
    std::vector<std::string> table_dirs = {std::string(CORVIX_TEST_DATA) + "/syzygy"};
    Random damage(first_seed);
    for (int i = 0; i < 3; i++) {
        table_dirs.push_back(dir.file("damaged" + std::to_string(i)));
        damageCopy(table_dirs[0], table_dirs.back(), damage);
    }

    const long long deadline = nowMs() + seconds * 1000;
    int scripts = 0, searches = 0;
    for (unsigned long long seed = first_seed; max_scripts < 0 || scripts < max_scripts; seed++) {
        if (max_scripts < 0 && nowMs() >= deadline) break;
        Generator generator(seed, table_dirs);
        Script script = generator.script(seed);
        ScriptRun engine(GetParam());
        std::string fault = engine.play(script);
        if (fault.empty() && sanitizerReport(engine.errorText())) fault = "report on standard error";
        scripts++;
        searches += engine.searches();
        if (!fault.empty()) {
            std::string tail;
            for (const std::string &line : engine.tail()) tail += "    " + escaped(line) + "\n";
            ADD_FAILURE() << fault << "\n" << describeScript(script) << "  last output lines:\n" << tail
                          << "  standard error:\n" << escaped(engine.errorText(), 4000);
            break;
        }
    }
    std::printf("[ fuzz     ] %s: %d scripts with %d searches from seed %llu\n", GetParam().c_str(), scripts,
                searches, first_seed);
}

CORVIX_FOR_EACH_BUILD(Fuzz);

}  // namespace
