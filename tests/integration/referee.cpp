// The referee of the game tests (see referee.h).
#include "integration/referee.h"

#include <cstdio>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "integration/referee_board.h"
#include "integration/search_support.h"
#include "search/pvs.h"

namespace corvix_test {

GameResult playGame(const std::string &white_program, const std::string &black_program, const std::string &dir,
                    const std::string &opening, const TimeControl &tc) {
    GameResult result;
    Engine white(white_program, dir, StdinMode::PIPE), black(black_program, dir, StdinMode::PIPE);
    if (!white.ok() || !black.ok()) return {"engine did not start", 0, true};
    for (Engine *e : {&white, &black}) {
        std::vector<std::string> lines;
        if (tc.ponder) e->send("setoption name Ponder value true");
        if (tc.hash_mb > 0) e->send("setoption name Hash value " + std::to_string(tc.hash_mb));
        e->send("ucinewgame");
        e->send("isready");
        if (!e->process().readUntil("readyok", lines, 10000 * SLOWDOWN)) return {"no readyok", 0, true};
    }

    initRefereeBoard();
    refereeNewGame();
    std::string moves;
    // The opening is played on the referee's board first.
    for (size_t at = 0; at < opening.size();) {
        size_t end = opening.find(' ', at);
        std::string text = opening.substr(at, end == std::string::npos ? std::string::npos : end - at);
        Move m = parseMove(text.c_str());
        if (!m) return {"bad opening move " + text, 0, true};
        makeMove(m);
        moves += " " + text;
        if (end == std::string::npos) break;
        at = end + 1;
    }

    long long clock[2] = {tc.base_ms, tc.base_ms};  // [BLACK], [WHITE]
    // The reply each side is pondering on ("" when it is not pondering).
    std::string pondering[2];
    auto clocks = [&]() {
        return "wtime " + std::to_string(clock[WHITE]) + " btime " + std::to_string(clock[BLACK]) + " winc " +
               std::to_string(tc.increment_ms) + " binc " + std::to_string(tc.increment_ms);
    };
    // Ends a ponder search that is no longer wanted; false when it does not answer.
    auto stopPondering = [&](int side) {
        if (pondering[side].empty()) return true;
        pondering[side].clear();
        Engine &e = side == WHITE ? white : black;
        return startsWith(e.search("stop", 10000).back(), "bestmove");
    };
    for (int ply = 0;; ply++) {
        result.half_moves = ply;
        updateAttacks();
        generateMoves(GEN_ALL);
        int side = curr_ply->us->info->colour;
        if (curr_ply->generated == 0 || isDraw() || ply >= tc.max_plies) {
            if (!stopPondering(WHITE) || !stopPondering(BLACK)) return {"no bestmove after stop", ply, true};
        }
        if (curr_ply->generated == 0) {
            bool mated = curr_ply->us->attacks[ATK_CHECKERS] != 0;
            result.outcome = !mated ? "1/2-1/2 (stalemate)" : side == WHITE ? "0-1" : "1-0";
            return result;
        }
        if (isDraw()) {
            result.outcome = "1/2-1/2 (draw rule)";
            return result;
        }
        if (ply >= tc.max_plies) {
            result.outcome = "1/2-1/2 (move limit)";
            return result;
        }

        Engine &mover = side == WHITE ? white : black;
        std::string go = "go " + clocks();
        const int own_moves = ply / 2;  // moves this side has made (white moves first from every opening here)
        if (tc.moves_per_period > 0)
            go += " movestogo " + std::to_string(tc.moves_per_period - own_moves % tc.moves_per_period);
        const std::string last_move = moves.substr(moves.rfind(' ') + 1);
        long long start = nowMs();
        std::vector<std::string> lines;
        if (!pondering[side].empty() && pondering[side] == last_move) {
            pondering[side].clear();
            result.ponder_hits++;
            lines = mover.search("ponderhit", (int)(clock[side] + 5000));
        } else {
            if (!stopPondering(side)) return {"no bestmove after stop", ply, true};
            start = nowMs();
            lines = mover.search("position startpos moves" + moves + "\n" + go, (int)(clock[side] + 5000));
        }
        long long used = nowMs() - start;
        const std::string &last = lines.empty() ? std::string() : lines.back();
        if (!startsWith(last, "bestmove ")) return {"no bestmove from " + std::string(side == WHITE ? "white" : "black"), ply, true};
        clock[side] -= used;
        if (clock[side] <= 0) {
            return {std::string(side == WHITE ? "white" : "black") + " lost on time (used " + std::to_string(used) +
                        " ms)" + moves,
                    ply, true};
        }
        clock[side] += tc.increment_ms;
        if (tc.moves_per_period > 0 && (own_moves + 1) % tc.moves_per_period == 0) clock[side] += tc.base_ms;
        std::string text = last.substr(9);
        std::string reply;
        if (text.find(" ponder ") != std::string::npos) {
            reply = text.substr(text.find(" ponder ") + 8);
            text = text.substr(0, text.find(' '));
        }
        Move m = parseMove(text.c_str());
        if (!m) return {"illegal move " + text + " after" + moves, ply, true};
        makeMove(m);
        moves += " " + text;
        if (tc.ponder && !reply.empty()) {
            Move r = parseMove(reply.c_str());
            if (!r) return {"illegal ponder move " + reply + " after" + moves, ply, true};
            // The engine thinks on the reply it expects, with the clocks as
            // they stand now.
            pondering[side] = reply;
            result.ponder_searches++;
            mover.send("position startpos moves" + moves + " " + reply);
            mover.send("go ponder " + clocks());
        }
    }
}

}  // namespace corvix_test
