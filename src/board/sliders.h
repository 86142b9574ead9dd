// Slider attack lookup: magic multiplication, or PEXT in the AVX2 build.
#pragma once

#include "board/types.h"
#if defined(CORVIX_ISA_AVX2)
#include <immintrin.h>
#endif

extern u64 rook_mask[64];
extern u64 bishop_mask[64];
extern const u64 ROOK_MAGIC[64];
extern const u64 BISHOP_MAGIC[64];
extern u64 rook_table[64][4096];
extern u64 bishop_table[64][512];

// Fills and self-checks the slider tables (rooks first, then bishops).
void initSliders();

// Slow reference ray walks, used to build and check the tables.
u64 getRookMoves(u64 occupancy, int square);
u64 getBishopMoves(u64 occupancy, int square);

inline u64 rookAttacks(int square, u64 occupancy) {
#if defined(CORVIX_ISA_AVX2)
    return rook_table[square][_pext_u64(occupancy, rook_mask[square])];
#else
    return rook_table[square][((occupancy & rook_mask[square]) * ROOK_MAGIC[square]) >> 52];
#endif
}

inline u64 bishopAttacks(int square, u64 occupancy) {
#if defined(CORVIX_ISA_AVX2)
    return bishop_table[square][_pext_u64(occupancy, bishop_mask[square])];
#else
    return bishop_table[square][((occupancy & bishop_mask[square]) * BISHOP_MAGIC[square]) >> 55];
#endif
}

inline u64 queenAttacks(int square, u64 occupancy) {
    return rookAttacks(square, occupancy) | bishopAttacks(square, occupancy);
}
