// loadNetwork on network files written by the test: the layout, the accepted
// and refused lengths, and short files (refused).
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "eval/network.h"
#include "unit/eval_support.h"

namespace {

namespace fs = std::filesystem;

// Offsets of the parameter arrays in a file with an n-byte description.
struct Layout {
    long long ft_biases, ft_weights, l1_biases, l1_weights, l2_biases, l2_weights, out_bias, out_weights, end;
    explicit Layout(long long n)
        : ft_biases(16 + n), ft_weights(528 + n), l1_biases(21004820 + n), l1_weights(21004948 + n),
          l2_biases(21021332 + n), l2_weights(21021460 + n), out_bias(21022484 + n), out_weights(21022488 + n),
          end(21022520 + n) {}
};

class NetworkFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvix-net-" + std::to_string(getpid()) + "-" + CORVIX_TEST_ISA);
        fs::create_directories(dir_);
        path_ = (dir_ / "net.nnue").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A well-formed file with an n-byte description; every byte after the
    // header is pseudo-random, so a wrong offset shows up at once.
    static std::vector<unsigned char> makeFile(i32 n) {
        std::vector<unsigned char> bytes((size_t)Layout(n).end);
        u64 x = 0x9e3779b97f4a7c15ULL;
        for (auto &b : bytes) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            b = (unsigned char)(x >> 24);
        }
        std::memcpy(&bytes[8], &n, 4);
        return bytes;
    }

    void write(const std::vector<unsigned char> &bytes) const {
        FILE *f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }

    // Compares each parameter array with its slice of the file; bytes beyond
    // `available` (the length actually written) must be zero.
    static void expectParameters(const std::vector<unsigned char> &file, i32 n, long long available) {
        const Layout at(n);
        const struct {
            const char *name;
            const void *data;
            size_t size;
            long long offset;
        } arrays[] = {
            {"ft_biases", network.ft_biases, sizeof network.ft_biases, at.ft_biases},
            {"ft_weights", network.ft_weights, sizeof network.ft_weights, at.ft_weights},
            {"l1_biases", network.l1_biases, sizeof network.l1_biases, at.l1_biases},
            {"l1_weights", network.l1_weights, sizeof network.l1_weights, at.l1_weights},
            {"l2_biases", network.l2_biases, sizeof network.l2_biases, at.l2_biases},
            {"l2_weights", network.l2_weights, sizeof network.l2_weights, at.l2_weights},
            {"out_bias", &network.out_bias, sizeof network.out_bias, at.out_bias},
            {"out_weights", network.out_weights, sizeof network.out_weights, at.out_weights},
        };
        for (const auto &a : arrays) {
            const unsigned char *got = (const unsigned char *)a.data;
            for (size_t i = 0; i < a.size; i++) {
                long long pos = a.offset + (long long)i;
                unsigned char want = pos < available ? file[(size_t)pos] : 0;
                if (got[i] != want) {
                    ADD_FAILURE() << a.name << " byte " << i << ": got " << (int)got[i] << ", want " << (int)want;
                    break;
                }
            }
        }
    }

    fs::path dir_;
    std::string path_;
    NetworkSnapshot snapshot_;
};

TEST_F(NetworkFileTest, FileOfExactLengthLoadsEveryArray) {
    for (i32 n : {0, 1, 37, 4096}) {
        auto file = makeFile(n);
        write(file);
        ASSERT_TRUE(loadNetwork(path_.c_str())) << "description of " << n << " bytes";
        expectParameters(file, n, (long long)file.size());
    }
}

TEST_F(NetworkFileTest, TrailingBytes) {
    const struct {
        int extra;
        bool loads;
    } cases[] = {{1, true}, {2, true}, {3, true}, {4, false}, {5, false}, {1000, false}};
    for (const auto &c : cases) {
        auto file = makeFile(12);
        const size_t exact = file.size();
        file.resize(exact + (size_t)c.extra, 0x55);
        write(file);
        EXPECT_EQ(loadNetwork(path_.c_str()), c.loads) << c.extra << " extra bytes";
        if (c.loads) expectParameters(file, 12, (long long)exact);
    }
}

TEST_F(NetworkFileTest, ShortFileIsRefused) {
    // Whatever part of the layout is missing, the file is refused like a
    // missing one, and no parameter keeps a value from it.
    const Layout at(20);
    const long long cuts[] = {at.ft_weights + 1001,   // in the middle of a 16-bit weight
                              at.l1_biases - 2,       // inside the network hash word
                              at.l1_weights + 5000, at.out_bias + 2, at.end - 1, at.ft_biases, 14, 12};
    for (long long cut : cuts) {
        auto file = makeFile(20);
        file.resize((size_t)cut);
        write(file);
        EXPECT_FALSE(loadNetwork(path_.c_str())) << "cut at " << cut;
        expectParameters(file, 20, 0);
    }
}

TEST_F(NetworkFileTest, BadDescriptionLengthIsRefused) {
    for (i32 n : {-1, -4096, INT_MIN, 21022520, INT_MAX}) {
        auto file = makeFile(0);
        std::memcpy(&file[8], &n, 4);
        write(file);
        EXPECT_FALSE(loadNetwork(path_.c_str())) << "description length " << n;
    }
    // A file that ends inside its header or its description: the description
    // runs past the end of the file.
    for (size_t cut : {60, 11, 3, 0}) {
        auto file = makeFile(100);
        file.resize(cut);
        write(file);
        EXPECT_FALSE(loadNetwork(path_.c_str())) << "file of " << cut << " bytes";
    }
}

TEST_F(NetworkFileTest, MissingOrUnreadableFileIsRefused) {
    EXPECT_FALSE(loadNetwork((dir_ / "absent.nnue").string().c_str()));
    fs::create_directories(dir_ / "folder.nnue");
    EXPECT_FALSE(loadNetwork((dir_ / "folder.nnue").string().c_str()));
}

TEST(NetworkLayout, ArraysAreAlignedForVectorLoads) {
    auto aligned = [](const void *p) { return (reinterpret_cast<uintptr_t>(p) % 32) == 0; };
    EXPECT_TRUE(aligned(network.ft_biases));
    EXPECT_TRUE(aligned(network.ft_weights));
    EXPECT_TRUE(aligned(network.l1_biases));
    EXPECT_TRUE(aligned(network.l1_weights));
    EXPECT_TRUE(aligned(network.l2_biases));
    EXPECT_TRUE(aligned(network.l2_weights));
    EXPECT_TRUE(aligned(&network.out_bias));
    EXPECT_EQ((const void *)network.out_weights, (const void *)(&network.out_bias + 1));
}

}  // namespace
