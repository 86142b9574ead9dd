// Input during a search: the lines that arrive while the engine thinks.
// "isready" is answered at once and "ponderhit" turns a ponder search into
// a timed one; both are taken out of the input. Every other line ("stop",
// "quit", anything else) ends the search and is left for the command loop.
#pragma once

// Called by the periodic check when input is waiting.
void readInputDuringSearch();

// Before "bestmove" of an endless search ("go infinite", or pondering):
// waits for the line that ends it ("stop", "ponderhit", or any other
// command, or the end of input), answering "isready" meanwhile. Returns at
// once when a line has already ended the search.
void waitForEndOfSearch();
