#include "frontend/commands.h"

#include <cstdio>
#include <cstring>

#include "board/printable.h"
#include "frontend/diagnostics.h"
#include "frontend/options.h"
#include "frontend/uci.h"
#include "platform/console.h"

char input_buffer[POSITION_LINE_SIZE];

namespace {

bool isBlank(int c) { return c == ' ' || c == '\t'; }

// Whether the length characters read so far begin a "position" command,
// which may be longer than other commands.
bool isPositionLine(int length) {
    static const char POSITION[] = "position ";
    return length >= (int)sizeof POSITION - 1 && std::memcmp(input_buffer, POSITION, sizeof POSITION - 1) == 0;
}

}  // namespace

bool readCommand() {
    int length = 0;
    bool in_blank_run = false;
    input_buffer[0] = '\0';

    int c = consoleGetChar();
    if (c < 0) return false;

    for (;;) {
        if (c < 0 || c == '\n') break;
        if (c == '\r') {
            // CR LF ends the line like LF; a carriage return anywhere else is
            // an ordinary character.
            int next = consoleGetChar();
            if (next == '\n') break;
            input_buffer[length++] = '\r';
            in_blank_run = false;
            c = next;
        } else {
            if (isBlank(c)) {
                if (length > 0 && !in_blank_run) {
                    input_buffer[length++] = ' ';
                    in_blank_run = true;
                }
            } else {
                input_buffer[length++] = (char)c;
                in_blank_run = false;
            }
            c = consoleGetChar();
        }
        if (length == INPUT_BUFFER_SIZE - 1 && !isPositionLine(length)) {
            std::printf("info buffer Warning: input is too long and will be truncated (max = %i bytes)\n",
                        INPUT_BUFFER_SIZE);
            // c is the first character not stored: skip it and the rest of the line.
            while (c >= 0 && c != '\n') c = consoleGetChar();
            break;
        }
        if (length == POSITION_LINE_SIZE - 1) {
            // c is the first character not stored. Blanks at the end of a
            // line are dropped, so the command fits when only they, and the
            // line's end, follow.
            while (isBlank(c)) c = consoleGetChar();
            if (c == '\r') c = consoleGetChar();
            if (c < 0 || c == '\n') break;
            while (c >= 0 && c != '\n') c = consoleGetChar();
            std::printf("info string Position refused: the command is longer than %i characters\n",
                        POSITION_LINE_SIZE - 1);
            length = 0;
            break;
        }
    }

    if (length > 0 && input_buffer[length - 1] == ' ') length--;
    input_buffer[length] = '\0';
    return true;
}

namespace {

enum MatchKind { EXACT, PREFIX, CONTAINS };

struct CommandRow {
    MatchKind match;
    const char *text;
    void (*handler)();
};

// An option command that does not begin the line: the options read their
// values only from the start of the line, so it does nothing.
void misplacedOptionCommand() {}

// Tried from top to bottom; the first row that matches takes the command.
// "contains" rows match anywhere in the line, so "cargo" is taken by "go";
// "prefix" rows match the beginning of the line.
const CommandRow COMMANDS[] = {
    {EXACT, "stop", stopCommand},
    {EXACT, "ponderhit", ponderHitCommand},
    {EXACT, "uci", uciCommand},
    {PREFIX, "setoption name ", setOptionCommand},
    {CONTAINS, "setoption name Hash value ", misplacedOptionCommand},
    {CONTAINS, "setoption name SyzygyPath value ", misplacedOptionCommand},
    {EXACT, "isready", isReadyCommand},
    {EXACT, "ucinewgame", newGameCommand},
    {CONTAINS, "position startpos", positionCommand},
    {CONTAINS, "position fen ", positionCommand},
    {CONTAINS, "eval", evalCommand},
    {CONTAINS, "go", goCommand},
    {CONTAINS, "perft", perftCommand},
    {EXACT, "debug", debugCommand},
    {EXACT, "bench", benchCommand},
    {EXACT, "quit", quitCommand},
};

}  // namespace

void dispatchCommand() {
    for (const CommandRow &row : COMMANDS) {
        bool matched;
        switch (row.match) {
        case EXACT: matched = std::strcmp(input_buffer, row.text) == 0; break;
        case PREFIX: matched = std::strncmp(input_buffer, row.text, std::strlen(row.text)) == 0; break;
        default: matched = std::strstr(input_buffer, row.text) != nullptr; break;
        }
        if (matched) {
            row.handler();
            return;
        }
    }
    printUnknownCommand();
}

void printUnknownCommand() {
    std::printf("Unknown command : '");
    printPrintable(input_buffer, std::strlen(input_buffer));
    std::printf("'\n");
}

void commandLoop() {
    while (readCommand()) {
        if (input_buffer[0] == '\0') continue;
        dispatchCommand();
    }
    // The input has ended: nothing more can arrive, so end as "quit" does.
    quitCommand();
}
