// The transposition table: sizes and messages, buckets, the replacement
// order, the fill count, bounds and the two kinds of lookup.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "unit/search_support.h"

using namespace search_test;

namespace {

// Keys that share a bucket: equal low 32 bits, different high bits.
u64 sameBucket(int n) { return ((u64)(n + 1) << 40) | 0x1234568ULL; }

TEST(TranspositionTable, SizesAndTheirMessages) {
    struct Case {
        int mb;
        std::string output;
        u64 entries;
    };
    const Case cases[] = {
        {1, "info debug Creation of Transposition Table : success (1 MB)\n", 65536},
        {64, "info debug Creation of Transposition Table : success (64 MB)\n", 64 * 65536ULL},
        {100,
         "info debug Creation of Transposition Table : invalid size (100 MB, reset to default)\n"
         "info debug Creation of Transposition Table : success (128 MB)\n",
         8388608},
        {0,
         "info debug Creation of Transposition Table : invalid size (0 MB, reset to default)\n"
         "info debug Creation of Transposition Table : success (128 MB)\n",
         8388608},
        {65537,
         "info debug Creation of Transposition Table : invalid size (65537 MB, reset to default)\n"
         "info debug Creation of Transposition Table : success (128 MB)\n",
         8388608},
        {-4,
         "info debug Creation of Transposition Table : invalid size (-4 MB, reset to default)\n"
         "info debug Creation of Transposition Table : success (128 MB)\n",
         8388608},
    };
    for (const Case &c : cases) {
        std::string out = captureStdout([&] { ttCreate(c.mb); });
        EXPECT_EQ(out, c.output) << c.mb;
        EXPECT_EQ(hash_entries, c.entries) << c.mb;
        EXPECT_EQ(hash_mask, (u32)(c.entries - 4)) << c.mb;
        EXPECT_EQ(hash_used, 0u);
        ASSERT_NE(hash_table, nullptr);
        // The new table is empty and every byte of it is there.
        EXPECT_EQ(hash_table[0].flags, 0);
        EXPECT_EQ(hash_table[c.entries - 1].flags, 0);
    }
    freshSearch();
}

// In a child process whose address space ends just above what it uses, so
// that even 1 MB cannot be had: the sizes are halved down to 1 MB, then the
// program ends with status 1.
void createWithoutMemory(int mb) {
    dup2(2, 1);  // the messages go where the death test looks
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f || std::fscanf(f, "%ld %ld", &pages, &resident) != 2) std::_Exit(3);
    std::fclose(f);
    rlim_t used = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE);
    rlim_t table = (rlim_t)(hash_entries * sizeof(HashEntry));
    struct rlimit limit = {used - table + 256 * 1024, used - table + 256 * 1024};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(4);
    ttCreate(mb);
    std::_Exit(0);
}

TEST(TranspositionTable, NoMemoryEvenForOneMegabyteEndsTheProgram) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit does not go with the sanitizers";
#endif
    freshSearch();
    EXPECT_EXIT(createWithoutMemory(4), testing::ExitedWithCode(1),
                "info debug Creation of Transposition Table : failure \\(4 MB\\)\n"
                "info debug Creation of Transposition Table : failure \\(2 MB\\)\n"
                "info debug Creation of Transposition Table : failure \\(1 MB\\)\n"
                "info string Corvix will now halt...\n");
}

TEST(TranspositionTable, BucketsAreFourEntriesAtTheLowKeyBits) {
    freshSearch();
    root_pieces = 32;
    u64 key = 0xabcdef0012345677ULL;
    ttStore(key, 10, 3, -100, 100, 0x1234, 5);
    size_t index = (size_t)((u32)key & hash_mask);
    EXPECT_EQ(ttEntryKey(&hash_table[index]), key);
    EXPECT_EQ(index % 4, 0u);
    EXPECT_EQ(ttBucket(key), hash_table + index);
}

TEST(TranspositionTable, ReplacementOrder) {
    freshSearch();
    root_pieces = 20;
    HashEntry *bucket = ttBucket(sameBucket(0));

    // Four positions fill the four entries in order; each raises hash_used.
    const int depths[4] = {5, 3, 7, 3};
    for (int i = 0; i < 4; i++) {
        ttStore(sameBucket(i), 20, depths[i], -50, 50, 100 + i, i);
        EXPECT_EQ(ttEntryKey(&bucket[i]), sameBucket(i));
        EXPECT_EQ(hash_used, (u64)i + 1);
    }

    // Full bucket, no entry above root_pieces: the shallowest, the first of
    // equal depths (entry 1, not entry 3).
    ttStore(sameBucket(4), 20, 9, -50, 50, 104, 4);
    EXPECT_EQ(ttEntryKey(&bucket[1]), sameBucket(4));
    EXPECT_EQ(hash_used, 4u);

    // A position with more pieces than the new root goes first, whatever its depth.
    root_pieces = 25;
    ttStore(sameBucket(2), 25, 7, -50, 50, 102, 2);
    root_pieces = 20;
    ttStore(sameBucket(5), 20, 1, -50, 50, 105, 5);
    EXPECT_EQ(ttEntryKey(&bucket[2]), sameBucket(5));

    // The same key is overwritten even by a shallower result.
    ttStore(sameBucket(0), 20, 1, -50, 50, 200, -7);
    EXPECT_EQ(ttEntryKey(&bucket[0]), sameBucket(0));
    HashEntry e;
    ASSERT_TRUE(ttProbeMove(sameBucket(0), &e));
    EXPECT_EQ(e.depth, 1);
    EXPECT_EQ(e.eval, -7);
    EXPECT_EQ(e.move, 200u);
    EXPECT_EQ(hash_used, 4u);
}

TEST(TranspositionTable, BoundsPiecesAndLookups) {
    freshSearch();
    root_pieces = 32;
    struct Case {
        int alpha, beta, eval, bound;
    };
    const Case cases[] = {
        {-10, 10, -10, UPPERBOUND}, {-10, 10, -30000, UPPERBOUND}, {-10, 10, 10, LOWERBOUND},
        {-10, 10, 30000, LOWERBOUND}, {-10, 10, 9, EXACT}, {-10, 10, -9, EXACT},
    };
    u64 key = 0x5555000011110000ULL;
    for (const Case &c : cases) {
        ttStore(key, 17, 4, c.alpha, c.beta, 77, c.eval);
        HashEntry e;
        ASSERT_TRUE(ttProbe(key, 17, &e));
        EXPECT_EQ(e.key, key);
        EXPECT_EQ(entryBound(&e), c.bound) << c.eval;
        EXPECT_EQ(entryPieces(&e), 17);
        EXPECT_EQ(e.eval, c.eval);
        EXPECT_EQ(e.depth, 4);
    }
    // The search lookup wants the piece count too; the move lookup does not.
    HashEntry e;
    EXPECT_FALSE(ttProbe(key, 16, &e));
    ASSERT_TRUE(ttProbeMove(key, &e));
    EXPECT_EQ(e.move, 77u);
    EXPECT_FALSE(ttProbe(key ^ 1, 17, &e));
    EXPECT_FALSE(ttProbeMove(key ^ (1ULL << 50), &e));
}

// Threads store without a lock: an entry whose two words come from two
// different stores must be a miss, never a mixture of both.
TEST(TranspositionTable, MixedEntriesAreMisses) {
    freshSearch();
    root_pieces = 32;
    const u64 a = sameBucket(0), b = sameBucket(1);
    ttStore(a, 20, 6, -50, 50, 0x111, 40);
    ttStore(b, 20, 2, -50, 50, 0x222, -40);
    HashEntry *bucket = ttBucket(a);
    const HashEntry first = bucket[0], second = bucket[1];
    struct Case {
        const char *name;
        HashEntry mixed;
    };
    HashEntry key_of_b_data_of_a = first, key_of_a_data_of_b = second;
    key_of_b_data_of_a.key = second.key;
    key_of_a_data_of_b.key = first.key;
    HashEntry same_key_new_move = first;  // a store of a in progress: new data, old key word
    same_key_new_move.move = 0x333;
    const Case cases[] = {{"key word of b, data of a", key_of_b_data_of_a},
                          {"key word of a, data of b", key_of_a_data_of_b},
                          {"half of a newer store of a", same_key_new_move}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bucket[0] = c.mixed;
        bucket[1] = HashEntry{};
        HashEntry e;
        EXPECT_FALSE(ttProbe(a, 20, &e));
        EXPECT_FALSE(ttProbeMove(a, &e));
        EXPECT_FALSE(ttProbeMove(b, &e));
    }
    // Whole entries are found again.
    bucket[0] = first;
    bucket[1] = second;
    HashEntry e;
    ASSERT_TRUE(ttProbe(a, 20, &e));
    EXPECT_EQ(e.move, 0x111u);
    EXPECT_EQ(e.eval, 40);
    ASSERT_TRUE(ttProbe(b, 20, &e));
    EXPECT_EQ(e.move, 0x222u);
    EXPECT_EQ(e.depth, 2);
}

TEST(TranspositionTable, OverflowIsReportedAndNotStored) {
    freshSearch();
    u64 key = 0x77ULL << 20;
    for (int eval : {-60000, 60000, -30001, 30001}) {
        std::string out = captureStdout([&] { ttStore(key, 10, 2, -60000, 60000, 0, eval); });
        EXPECT_EQ(out, "info string Overflow error for eval : " + std::to_string(eval) + "\n");
        HashEntry e;
        EXPECT_FALSE(ttProbeMove(key, &e));
        EXPECT_EQ(hash_used, 0u);
    }
    std::string out = captureStdout([&] { ttStore(key, 10, 2, -60000, 60000, 0, -30000); });
    EXPECT_EQ(out, "");
    HashEntry e;
    EXPECT_TRUE(ttProbeMove(key, &e));
}

TEST(TranspositionTable, HashfullAndClear) {
    freshSearch();
    root_pieces = 32;
    EXPECT_EQ(hashfull(), 0);
    // 1 MB holds 65536 entries: 66 filled entries are 1 per mille, 65 are 0.
    for (u64 i = 0; i < 65; i++) ttStore(i * 4 + 1, 10, 1, 0, 1, 0, 0);
    EXPECT_EQ(hashfull(), 0);
    ttStore(65 * 4 + 1, 10, 1, 0, 1, 0, 0);
    EXPECT_EQ(hashfull(), 1);
    search.nodes = 5;
    history[1][6][28] = 9;
    root_nodes[12] = 4;
    ttClear();
    EXPECT_EQ(hashfull(), 0);
    EXPECT_EQ(hash_used, 0u);
    EXPECT_EQ(search.nodes, 0u);
    EXPECT_EQ(history[1][6][28], 0);
    EXPECT_EQ(root_nodes[12], 0u);
    HashEntry e;
    EXPECT_FALSE(ttProbeMove(1, &e));
}

// A table large enough to be made and cleared in slices on several cores:
// every byte of it is zero when it is made and again after a clear, the
// slice boundaries and the last bucket included.
TEST(TranspositionTable, LargeTableIsZeroEverywhereAfterCreateAndClear) {
    captureStdout([] { ttCreate(256); });
    ASSERT_EQ(hash_entries, 256 * ENTRIES_PER_MB);
    size_t bytes = hash_entries * sizeof(HashEntry);
    auto firstNonZero = [&]() -> size_t {
        const u8 *p = (const u8 *)hash_table;
        for (size_t i = 0; i < bytes; i++)
            if (p[i]) return i;
        return bytes;
    };
    EXPECT_EQ(firstNonZero(), bytes);
    root_pieces = 32;
    ttStore(1, 10, 1, 0, 1, 0, 0);  // the table has been written to
    u8 *p = (u8 *)hash_table;
    for (size_t i = 0; i < bytes; i += (1 << 20) - 8) p[i] = 0xA5;
    p[bytes - 1] = 0x5A;
    ttClear();
    EXPECT_EQ(firstNonZero(), bytes);
    freshSearch();
}

}  // namespace
