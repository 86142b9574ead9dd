#include "search/tables.h"

#include <cmath>

// min(file, 7 - file) + min(rank, 7 - rank), a1 first.
const u8 centre_table[64] = {
    0, 1, 2, 3, 3, 2, 1, 0,
    1, 2, 3, 4, 4, 3, 2, 1,
    2, 3, 4, 5, 5, 4, 3, 2,
    3, 4, 5, 6, 6, 5, 4, 3,
    3, 4, 5, 6, 6, 5, 4, 3,
    2, 3, 4, 5, 5, 4, 3, 2,
    1, 2, 3, 4, 4, 3, 2, 1,
    0, 1, 2, 3, 3, 2, 1, 0,
};

u8 move_centrality[4096];
u8 reduction_table[64][64];

void initMoveCentrality() {
    for (int from = 0; from < 64; from++)
        for (int to = 0; to < 64; to++)
            move_centrality[from * 64 + to] = (u8)(centre_table[to] * 8 + (7 - centre_table[from]));
}

void initReductionTable() {
    for (int d = 0; d < 64; d++)
        for (int m = 0; m < 64; m++) {
            if (d == 0 || m == 0) {
                reduction_table[d][m] = 0;
                continue;
            }
            // The division by 1.3 is a multiplication by its reciprocal.
            double r = std::log((double)d) * std::log((double)m) * 0.7692307692307692;
            reduction_table[d][m] = (u8)r;
        }
}
