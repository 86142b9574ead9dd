#include "eval/accumulator.h"

// Placeholder until the feature transformer is written.
alignas(64) i32 accumulator[2][ACC_SIZE];

void refreshAccumulator(const Ply *) {}
void updateAccumulator(Move, const Ply *, int) {}
