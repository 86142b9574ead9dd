// Console commands for the developers: eval, perft, debug, bench.
#pragma once

void evalCommand();
void perftCommand();
void debugCommand();
void benchCommand();
