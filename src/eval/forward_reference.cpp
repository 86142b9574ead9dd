// Scalar forward pass: the arithmetic of the network written out plainly.
// Compiled into every build; the tests hold the vector code against it.
#include "eval/accumulator.h"
#include "eval/forward.h"
#include "eval/network.h"

namespace {

inline u8 clampInput(i32 v) { return (u8)(v < 0 ? 0 : v > 127 ? 127 : v); }

// Sums are kept in u32 so that they wrap exactly like the 32-bit lanes of the
// vector code, even for parameter sets far outside what training produces.
inline u32 product(int input, int weight) { return (u32)(input * weight); }

}  // namespace

int nnueForwardReference(const i32 acc[2][ACC_SIZE], int side_to_move) {
    const i32 *own = acc[accRow(side_to_move)];
    const i32 *other = acc[accRow(side_to_move ^ 1)];

    u8 input[L1_INPUTS];
    for (int i = 0; i < ACC_SIZE; i++) {
        input[i] = clampInput(own[i]);
        input[ACC_SIZE + i] = clampInput(other[i]);
    }

    u8 hidden1[L1_SIZE];
    for (int o = 0; o < L1_SIZE; o++) {
        u32 s = (u32)network.l1_biases[o];
        const i8 *w = &network.l1_weights[o * L1_INPUTS];
        for (int j = 0; j < L1_INPUTS; j++) s += product(input[j], w[j]);
        hidden1[o] = (u8)activate((i32)s);
    }

    u8 hidden2[L2_SIZE];
    for (int o = 0; o < L2_SIZE; o++) {
        u32 s = (u32)network.l2_biases[o];
        const i8 *w = &network.l2_weights[o * L1_SIZE];
        for (int j = 0; j < L1_SIZE; j++) s += product(hidden1[j], w[j]);
        hidden2[o] = (u8)activate((i32)s);
    }

    u32 v = (u32)network.out_bias;
    for (int j = 0; j < L2_SIZE; j++) v += product(hidden2[j], network.out_weights[j]);
    return scaleOutput((i32)v);
}
