// Slider attack tables: relevant-occupancy masks, magic multipliers and the
// rook and bishop lookup tables, filled and checked once at start-up.
#include "board/sliders.h"

#include "board/assert.h"

u64 rook_mask[64];
u64 bishop_mask[64];
alignas(64) u64 rook_table[64][4096];
alignas(64) u64 bishop_table[64][512];

// Multipliers for a fixed index width of 12 bits (rooks, shift 52) and 9 bits
// (bishops, shift 55). Those of a1-d1 are the engine's original values; the
// others come from tools/find_magics.cpp. initSliders checks every subset of
// every mask against them in each build.
const u64 ROOK_MAGIC[64] = {
    0x2380004000201080ULL, 0x00c0084100401024ULL, 0x6020022008002401ULL, 0x2010002400020090ULL,
    0x0400400c22040002ULL, 0x0010008700320400ULL, 0x0024020120300088ULL, 0x02000282014c0021ULL,
    0x0010020100100a01ULL, 0x0000408220048030ULL, 0x4002004a00600020ULL, 0x00281404400c6010ULL,
    0x0100500102284050ULL, 0x1000240480050209ULL, 0x4406260004024100ULL, 0x0090c00040002280ULL,
    0x0a01005000800194ULL, 0x0010208822004044ULL, 0x0140202008000401ULL, 0x000480280838a010ULL,
    0x0080010008110002ULL, 0x0000601040100900ULL, 0x0000110808580c02ULL, 0x101010040800a100ULL,
    0x4008048088101000ULL, 0x0012040a9340060cULL, 0x4000800412011000ULL, 0x08100050c80c0018ULL,
    0x0001004004121080ULL, 0xd1083809c0080200ULL, 0x00118600ca000980ULL, 0x0920020801400410ULL,
    0x0142100202a00121ULL, 0x0010044003402000ULL, 0x400200101a004080ULL, 0x00002c0602000805ULL,
    0x0040100101000602ULL, 0x0082098b8800401cULL, 0x5183000c82106200ULL, 0x0008440108700040ULL,
    0x0800800040002804ULL, 0x8008400110a12000ULL, 0x8420904125000808ULL, 0x0250020108001000ULL,
    0x0482004100800800ULL, 0x1508058480010101ULL, 0x1044010200040100ULL, 0x2001000820801240ULL,
    0x0104009040008050ULL, 0x6022001008404010ULL, 0x100810020220001aULL, 0x04b0040004220041ULL,
    0x0100480204080018ULL, 0x0004000488180120ULL, 0x0000040204010054ULL, 0x1001800020064010ULL,
    0x0446210010800041ULL, 0x0050c0105280200aULL, 0x2100108901200241ULL, 0x0000084010020022ULL,
    0x4880040108201002ULL, 0x10000a0009008402ULL, 0x040011148a020044ULL, 0x20e8004025008406ULL,
};
const u64 BISHOP_MAGIC[64] = {
    0x0020041844091814ULL, 0x0404021044210181ULL, 0x190e120900082210ULL, 0x000a4080150002d0ULL,
    0x4484086200801018ULL, 0x6001004840040000ULL, 0xc000220010444600ULL, 0x3080100441220102ULL,
    0x0480068200840410ULL, 0x0001025002020b12ULL, 0x4220080080665a00ULL, 0x9020a00a80208200ULL,
    0x000d001841000001ULL, 0x0840002522205060ULL, 0x4111400800412421ULL, 0xf040800901002100ULL,
    0x40840c0101488840ULL, 0x0120400424248c20ULL, 0x001211201040100cULL, 0x5800600142802870ULL,
    0x0008489040804000ULL, 0x0041844841340040ULL, 0x0044200042608e08ULL, 0x0000800200514010ULL,
    0x2044c02404010200ULL, 0x2308d81100280100ULL, 0x0d00241018004100ULL, 0x0894080000220040ULL,
    0x1001010083104000ULL, 0x0008002000100400ULL, 0x0211020000104420ULL, 0x080004900200430aULL,
    0x8100200100821200ULL, 0x0012120820491020ULL, 0x9c81008080044800ULL, 0x0040020084080080ULL,
    0xa010008200202200ULL, 0x0920003210810100ULL, 0x081d0081a00230d0ULL, 0x2800110100254860ULL,
    0x0408301651090042ULL, 0x0004100801110848ULL, 0x000011020c000606ULL, 0x0420004401002020ULL,
    0x2010024204000200ULL, 0x0082003003810100ULL, 0x1202020448d44140ULL, 0x0001005086000108ULL,
    0x0800080520e410c6ULL, 0x182040c030500800ULL, 0x6400040860100000ULL, 0x0001086011080140ULL,
    0x2001030200390280ULL, 0x00800251c4010043ULL, 0x0040c89818084102ULL, 0x00100c0280105080ULL,
    0x0000110010500b10ULL, 0x02018c8020a12000ULL, 0x0041100802c0100aULL, 0x0000851001210400ULL,
    0x05010022008a0124ULL, 0x0001000802040018ULL, 0x4018080208001230ULL, 0x02805004002e4140ULL,
};

namespace {

// Attack set from square along one direction, stopping after the first
// occupied square or before leaving the board.
u64 walk(u64 occupancy, int square, int df, int dr) {
    u64 set = 0;
    int f = fileOf(square) + df, r = rankOf(square) + dr;
    while (f >= 0 && f < 8 && r >= 0 && r < 8) {
        int sq = r * 8 + f;
        set |= bit(sq);
        if (occupancy & bit(sq)) break;
        f += df;
        r += dr;
    }
    return set;
}

// Rays (attacks on an empty board) without the edge squares the slider does not stand on: a piece there
// cannot block anything behind it.
u64 relevant(u64 rays, int square) {
    u64 edges = 0;
    if (fileOf(square) != 0) edges |= FILE_A_BB;
    if (fileOf(square) != 7) edges |= FILE_H_BB;
    if (rankOf(square) != 0) edges |= RANK_1_BB;
    if (rankOf(square) != 7) edges |= RANK_8_BB;
    return rays & ~edges;
}

// The subset of mask selected by the bits of i: the j-th lowest square of the
// mask is in it when bit j of i is set.
u64 subsetOf(u64 i, u64 mask) {
#if defined(CORVIX_ISA_AVX2)
    return _pdep_u64(i, mask);
#else
    u64 subset = 0;
    for (int j = 0; mask; j++) {
        int sq = popLsb(mask);
        if (i & (1ULL << j)) subset |= bit(sq);
    }
    return subset;
#endif
}

inline u64 rookSlot(u64 i, u64 occupancy, int square) {
#if defined(CORVIX_ISA_AVX2)
    (void)occupancy;
    (void)square;
    return i;
#else
    (void)i;
    return ((occupancy & rook_mask[square]) * ROOK_MAGIC[square]) >> 52;
#endif
}

inline u64 bishopSlot(u64 i, u64 occupancy, int square) {
#if defined(CORVIX_ISA_AVX2)
    (void)occupancy;
    (void)square;
    return i;
#else
    (void)i;
    return ((occupancy & bishop_mask[square]) * BISHOP_MAGIC[square]) >> 55;
#endif
}

void initRooks() {
    for (int square = 0; square < 64; square++) {
        rook_mask[square] = relevant(getRookMoves(0, square), square);
        int bits = popCount(rook_mask[square]);
        CHECK(bits >= 10 && bits <= 12);
        u64 count = 1ULL << bits;
        for (u64 i = 0; i < count; i++) {
            u64 occupancy = subsetOf(i, rook_mask[square]);
            rook_table[square][rookSlot(i, occupancy, square)] = getRookMoves(occupancy, square);
        }
        // Read every subset back only once the square is complete, so that
        // two subsets sharing a slot with different attack sets are caught.
        for (u64 i = 0; i < count; i++) {
            u64 occupancy = subsetOf(i, rook_mask[square]);
            u64 moves = rookAttacks(square, occupancy);
            CHECK(moves == getRookMoves(occupancy, square));
        }
    }
}

void initBishops() {
    for (int square = 0; square < 64; square++) {
        bishop_mask[square] = relevant(getBishopMoves(0, square), square);
        int bits = popCount(bishop_mask[square]);
        CHECK(bits >= 5 && bits <= 9);
        u64 count = 1ULL << bits;
        for (u64 i = 0; i < count; i++) {
            u64 occupancy = subsetOf(i, bishop_mask[square]);
            bishop_table[square][bishopSlot(i, occupancy, square)] = getBishopMoves(occupancy, square);
        }
        for (u64 i = 0; i < count; i++) {
            u64 occupancy = subsetOf(i, bishop_mask[square]);
            u64 moves = bishopAttacks(square, occupancy);
            CHECK(moves == getBishopMoves(occupancy, square));
        }
    }
}

}  // namespace

u64 getRookMoves(u64 occupancy, int square) {
    return walk(occupancy, square, 1, 0) | walk(occupancy, square, -1, 0) | walk(occupancy, square, 0, 1) |
           walk(occupancy, square, 0, -1);
}

u64 getBishopMoves(u64 occupancy, int square) {
    return walk(occupancy, square, 1, 1) | walk(occupancy, square, -1, -1) | walk(occupancy, square, 1, -1) |
           walk(occupancy, square, -1, 1);
}

void initSliders() {
    initRooks();
    initBishops();
}
