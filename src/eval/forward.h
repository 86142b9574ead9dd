// The network forward pass on an explicit accumulator pair.
//
// Every build carries the plain scalar version (the definition of the
// arithmetic) and exactly one vector version, the one of its instruction-set
// level. Both give the same integer for every input.
#pragma once

#include "board/types.h"
#include "eval/accumulator.h"
#include "eval/network.h"

// Final scale from the network's output unit to centipawns: (v * 100) / 3328
// in 32-bit signed arithmetic, the division truncating toward zero. The
// multiplication wraps like the machine's 32-bit multiply instead of being
// undefined for outputs beyond about +-21 million.
inline int scaleOutput(i32 v) { return (i32)((u32)v * 100u) / 3328; }

// Hidden-layer activation: arithmetic shift right by 6, clamped to 0..127.
inline int activate(i32 s) {
    i32 v = s >> 6;
    return v < 0 ? 0 : v > 127 ? 127 : v;
}

// acc: the accumulator pair, white's row first (accRow). side_to_move: WHITE
// or BLACK; its row is fed to the network first.
int nnueForwardReference(const i32 acc[2][ACC_SIZE], int side_to_move);
int nnueForwardVector(const i32 acc[2][ACC_SIZE], int side_to_move);
// The same pass over 16-bit sums (narrow_sums), with the same result as
// nnueForwardVector over the same values in 32 bits.
int nnueForwardNarrow(const i16 acc[2][ACC_SIZE], int side_to_move);

// Builds the derived copy of the parameters that the vector code of this
// build reads, if it has one (prepareNetwork calls it).
void prepareForwardPass();

// Name of the vector code path compiled into this build ("sse2", "ssse3",
// "avx", "avx2").
extern const char *const NNUE_VECTOR_PATH;

// A vector pass from one width of sums: both rows transformed into the
// layers' inputs, the side to move's first, then the layers of the build.
template <typename Sum, typename Input>
inline int forwardRows(const Sum acc[2][ACC_SIZE], int side_to_move, void (*transform)(const Sum *, Input *),
                       int (*layers)(const Input *)) {
    alignas(SIMD_ALIGN) Input input[L1_INPUTS];
    transform(acc[accRow(side_to_move)], input);
    transform(acc[accRow(side_to_move ^ 1)], input + ACC_SIZE);
    return layers(input);
}
