// The evaluation analysis tool, run instead of the protocol by "-analyse=FILE".
#pragma once

// Reads the positions and reference evaluations of the file and prints how
// far the network's evaluation lies from them. Returns when the file is done.
void analyseFile(const char *file_name);
