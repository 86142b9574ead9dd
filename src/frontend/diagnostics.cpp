#include "frontend/diagnostics.h"

#include <cstdio>

#include "frontend/commands.h"

void evalCommand() { std::printf("info string eval is not available yet\n"); }

void perftCommand() { std::printf("info string perft is not available yet\n"); }

void debugCommand() { std::printf("info string debug is not available yet\n"); }

void benchCommand() { std::printf("info string bench is not available yet\n"); }
