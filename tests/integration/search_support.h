// Helpers of the search tests: an engine kept running over a pipe, searches
// whose output is collected up to "bestmove", and the fields of info lines.
#pragma once

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "integration/engine.h"

namespace corvix_test {

// Sanitizer builds run many times slower: time limits grow by this factor.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int SLOWDOWN = 8;
constexpr bool SANITIZED = true;
#else
constexpr int SLOWDOWN = 1;
constexpr bool SANITIZED = false;
#endif

inline bool startsWith(const std::string &s, const std::string &prefix) { return s.rfind(prefix, 0) == 0; }

// The integer after "name " in an info line, or -1.
inline long long field(const std::string &line, const std::string &name) {
    size_t at = line.find(" " + name + " ");
    if (at == std::string::npos) return -1;
    return std::stoll(line.substr(at + name.size() + 2));
}

// The shapes of a search's iteration lines and of its "bestmove" line.
inline const std::regex ITERATION_LINE(
    "info depth [0-9]+ seldepth [0-9]+ score (cp -?[0-9]+|mate -?[0-9]+) (upperbound |lowerbound )?"
    "pv ([a-h][1-8][a-h][1-8][nbrq]? )+time [0-9]+ nodes [0-9]+ nps [0-9]+ hashfull [0-9]+");
inline const std::regex BESTMOVE_LINE("bestmove [a-h][1-8][a-h][1-8][nbrq]?");

inline bool isIterationLine(const std::string &line) { return startsWith(line, "info depth ") && line.find(" pv ") != std::string::npos; }

// One engine over a pipe, past its start-up report.
class Engine {
public:
    explicit Engine(const std::string &isa) : Engine(programPath(isa), binaryDir(), StdinMode::PIPE) {}
    // Any program (a Windows one included) in the directory of its network
    // file, its commands written through the given kind of input.
    Engine(const std::string &program, const std::string &dir, StdinMode mode) : process_(program, {}, dir, mode) {
        std::vector<std::string> lines;
        ok_ = process_.readUntil(TABLE_OK, lines, 20000 * SLOWDOWN);
    }
    bool ok() const { return ok_; }
    Process &process() { return process_; }
    bool send(const std::string &line) { return process_.send(line); }

    // Sends the commands and collects the output up to and including the
    // "bestmove" line (empty when none came in time).
    std::vector<std::string> search(const std::string &commands, int timeout_ms = 60000) {
        std::vector<std::string> lines;
        if (!process_.sendRaw(commands + "\n")) return {};
        std::string line;
        while (process_.readLine(line, timeout_ms * SLOWDOWN)) {
            lines.push_back(line);
            if (startsWith(line, "bestmove")) return lines;
        }
        lines.push_back("<no bestmove in time>");
        return lines;
    }

    // Ends the engine with "quit"; true when it exits with status 0.
    bool quit() {
        process_.send("quit");
        ExitInfo e = process_.wait(10000 * SLOWDOWN);
        return e.finished && e.exited && e.status == 0;
    }

private:
    Process process_;
    bool ok_ = false;
};

// Sends line to a running search (an empty line closes the input instead)
// and returns the milliseconds until the "bestmove" line, which is left in
// bestmove; -1 when none came.
inline long long timeToBestmove(Engine &e, const std::string &line, std::string &bestmove) {
    long long start = nowMs();
    if (line.empty())
        e.process().closeStdin();
    else if (!e.send(line))
        return -1;
    while (e.process().readLine(bestmove, 5000 * SLOWDOWN))
        if (startsWith(bestmove, "bestmove")) return nowMs() - start;
    return -1;
}

}  // namespace corvix_test
