// Syzygy endgame tablebases: registration of the table files found under the
// "SyzygyPath" directories, and the probes that the search makes.
#pragma once

#include <cstdint>

#include "tablebase/tbchess.h"

// Largest number of pieces (kings included) of any registered table; 0 when
// none is registered, which disables probing.
extern int max_tb_pieces;

// Releases the previous registry (every mapped file and its decoding data),
// then registers the tables found in the directories of path. Directories are
// separated by ':' or ';'; an empty text and "<empty>" mean none. Always
// returns true: callers judge the outcome by max_tb_pieces.
bool initSyzygy(const char *path);

// initSyzygy, then the start-up / option report: prints
// "info debug Initialisation of Syzygy : success (N pieces)" and appends
// "Syzygy ok" to the log when tables with more than 2 pieces were found,
// otherwise prints "info debug Initialisation of Syzygy : failure" and sets
// max_tb_pieces to 0. Returns whether tables were found.
bool initSyzygyAndReport(const char *path);

// Frees the two record arrays of the registry (at "quit", after
// initSyzygy("") has released the files).
void freeTableArrays();

// WDL values, from the side to move's view.
enum : int { TB_LOSS = -2, TB_BLESSED_LOSS = -1, TB_DRAW = 0, TB_CURSED_WIN = 1, TB_WIN = 2 };

// WDL value of pos. *success: 0 on failure, 1 when the value came from a
// table, 2 when the best move is known to be a capture (or en passant).
int probeWdl(const TbPosition *pos, int *success);

// Distance to zeroing in plies, signed like the WDL value, 0 for draws.
// *success is 0 on failure.
int probeDtz(const TbPosition *pos, int *success);

constexpr int SCORE_ILLEGAL = 0x7FFF;
constexpr TbMove TB_CHECKMATE_MOVE = 0xFFFE;
constexpr TbMove TB_STALEMATE_MOVE = 0xFFFF;

// Best move at the root by DTZ, 0 on failure, or TB_CHECKMATE_MOVE /
// TB_STALEMATE_MOVE when the side to move has no move. *dtz receives the DTZ.
TbMove probeRoot(const TbPosition *pos, int *dtz);

// Root result word of tbProbeRoot:
//   bits 0-3 outcome (TB_RESULT_LOSS .. TB_RESULT_WIN), 4-9 to-square,
//   10-15 from-square, 16-18 promotion (TbMove code), 19 en passant,
//   20-31 absolute DTZ.
enum : uint32_t {
    TB_RESULT_LOSS = 0,
    TB_RESULT_BLESSED_LOSS = 1,
    TB_RESULT_DRAW = 2,
    TB_RESULT_CURSED_WIN = 3,
    TB_RESULT_WIN = 4,
};
// No answer: the probe failed or the position is invalid (outcome field 15),
// the side to move is mated (14) or stalemated (13).
constexpr uint32_t TB_RESULT_FAILED = 0xFFFFFFFFu;
constexpr uint32_t TB_RESULT_CHECKMATE = 0xFFFFFFFEu;
constexpr uint32_t TB_RESULT_STALEMATE = 0xFFFFFFFDu;

inline uint32_t tbResultWdl(uint32_t r) { return r & 15; }
inline int tbResultTo(uint32_t r) { return (int)((r >> 4) & 63); }
inline int tbResultFrom(uint32_t r) { return (int)((r >> 10) & 63); }
inline int tbResultPromotion(uint32_t r) { return (int)((r >> 16) & 7); }
inline bool tbResultEnPassant(uint32_t r) { return ((r >> 19) & 1) != 0; }
inline int tbResultDtz(uint32_t r) { return (int)(r >> 20); }

// The root answer of the tables for a valid position (see above); anything
// whose outcome field is above TB_RESULT_WIN is no answer.
uint32_t tbProbeRoot(const TbPosition *pos);

// Material key of a position; with swap the colours exchange roles.
uint64_t materialKey(const TbPosition *pos, bool swap);
