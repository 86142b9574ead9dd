// The "-analyse=" batch tool: compares the network's evaluation of the
// positions of a text file with the reference evaluations written beside them.
#pragma once

// Reads the file line by line ("<FEN>;<pawns with two decimals>"), prints the
// lines whose evaluation differs by more than 0.18 pawns and the statistics.
// Returns false, after printing one "info string" line naming the file, when
// the file cannot be opened; the caller then ends the program with a non-zero
// status.
bool analyseFile(const char *file_name);
