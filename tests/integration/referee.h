// A referee for complete games between two engine processes, the way a GUI
// runs them: the whole move list with every "position", the clocks in "go",
// the wall time between "go" and "bestmove" taken from the mover's clock.
// Every move is checked with the engine's move generator; a game ends by
// mate, stalemate, the draw rules or a move limit. An illegal move, a missing
// move or a loss on time is a failure; so is a "ponder" move that is not
// legal after the engine's move.
#pragma once

#include <string>

namespace corvix_test {

struct TimeControl {
    long long base_ms, increment_ms;
    int max_plies;             // adjudicated as a draw after this many plies
    int moves_per_period = 0;  // > 0: base_ms more after every so many of a side's moves, sent as movestogo
    int hash_mb = 0;           // > 0: the engines' table size, set before the game
    bool ponder = false;       // both engines ponder: after its move an engine thinks on
                               // the reply it expects ("go ponder"), told "ponderhit" when
                               // it comes and "stop" otherwise; its clock runs from the
                               // ponderhit
};

struct GameResult {
    std::string outcome;  // "1-0", "0-1", "1/2-1/2", or what went wrong
    int half_moves = 0;
    bool failed = false;
    int ponder_searches = 0;  // "go ponder" sent
    int ponder_hits = 0;      // of them ended by "ponderhit"
};

// One game from the opening (moves in UCI text, separated by spaces) between
// two programs, each started in dir (which holds the network file).
GameResult playGame(const std::string &white_program, const std::string &black_program, const std::string &dir,
                    const std::string &opening, const TimeControl &tc);

}  // namespace corvix_test
