#include "search/searchinput.h"

#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "search/iterate.h"
#include "search/timecontrol.h"

namespace {

constexpr size_t LINE_SIZE = 256;

// The command of a line as the command loop would see it: blanks and tabs
// squeezed to single blanks, none at either end, a CR before the line feed
// dropped.
void normalise(char *line) {
    size_t out = 0;
    bool blank = false;
    for (size_t i = 0; line[i]; i++) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            blank = out > 0;
            continue;
        }
        if (c == '\r' && line[i + 1] == '\0') break;
        if (blank) line[out++] = ' ';
        blank = false;
        line[out++] = c;
    }
    line[out] = '\0';
}

enum class Answer { TAKEN, ENDS_SEARCH, NOTHING_WAITING };

// Looks at the next line: answers what the search answers itself and takes
// it out of the input.
Answer answerNextLine(bool wait) {
    char line[LINE_SIZE];
    switch (consolePeekLine(line, sizeof line, wait)) {
    case PeekedLine::NONE: return Answer::NOTHING_WAITING;
    case PeekedLine::ENDED:
    case PeekedLine::LONG: return Answer::ENDS_SEARCH;
    case PeekedLine::LINE: break;
    }
    normalise(line);
    if (line[0] == '\0') {
        // Like any other line it ends a running search; one that has
        // finished and waits for its command lets it pass.
        if (!wait) return Answer::ENDS_SEARCH;
        consoleDropLine();
        return Answer::TAKEN;
    }
    if (std::strcmp(line, "isready") == 0) {
        consoleDropLine();
        std::printf("readyok\n");
        return Answer::TAKEN;
    }
    if (std::strcmp(line, "ponderhit") == 0) {
        consoleDropLine();
        if (search.pondering) {
            ponderHit();
            // A search that has finished while pondering answers now.
            return wait ? Answer::ENDS_SEARCH : Answer::TAKEN;
        }
        return Answer::TAKEN;
    }
    return Answer::ENDS_SEARCH;
}

}  // namespace

void readInputDuringSearch() {
    for (;;) {
        switch (answerNextLine(false)) {
        case Answer::TAKEN: continue;
        case Answer::NOTHING_WAITING: return;
        case Answer::ENDS_SEARCH:
            search.stop = 1;
            search.input_stop = 1;
            return;
        }
    }
}

void waitForEndOfSearch() {
    if (search.input_stop || !(search.infinite || search.pondering)) return;
    while (answerNextLine(true) != Answer::ENDS_SEARCH) {
    }
    search.input_stop = 1;
}
