// Damaged table files: whatever is wrong with a file, registration and
// probing report it, the probe fails, nothing reads past the end of a
// mapping, and the engine goes on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/mapped_file.h"
#include "tablebase/tbinternal.h"
#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes readFile(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &file, const Bytes &data) {
    fs::remove(file);
    std::ofstream out(file, std::ios::binary);
    out.write((const char *)data.data(), (std::streamsize)data.size());
}

// A directory that links every test table, with one file replaced.
class TableDir {
public:
    TableDir() {
        char templ[] = "/tmp/corvix-tbc-XXXXXX";
        path_ = mkdtemp(templ);
        for (const auto &f : fs::directory_iterator(tbTestDir()))
            fs::create_symlink(fs::absolute(f.path()), path_ + "/" + f.path().filename().string());
    }
    ~TableDir() { fs::remove_all(path_); }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    void replace(const std::string &name, const Bytes &data) const { writeFile(file(name), data); }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

struct Output {
    std::string out, err;
};

// Runs f with standard output and standard error captured.
Output captured(const std::function<void()> &f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    Output o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

void putLe16(Bytes &b, size_t at, unsigned v) {
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}

// Offset of the first compressed-table header of a file: after the magic,
// the flags byte and the piece-order blocks, padded to even.
size_t firstHeader(int pieces, int files, bool pawns_both_sides) {
    size_t off = 5 + (size_t)files * (pieces + 1 + pawns_both_sides);
    return off + (off & 1);
}

const char *const KPK_WIN = "4k3/8/4K3/4P3/8/8/8/8 w - - 0 1";      // needs KPvK.rtbw and .rtbz
const char *const KQKR_POS = "3k4/8/8/8/8/8/6r1/KQ6 w - - 0 1";    // needs KQvKR

struct Probe {
    int wdl, wdl_success, dtz, dtz_success;
};

Probe probeBoth(const char *fen) {
    TbPosition p = tbFromFen(fen);
    Probe r;
    r.wdl = probeWdl(&p, &r.wdl_success);
    r.dtz = probeDtz(&p, &r.dtz_success);
    return r;
}

class TbCorrupt : public ::testing::Test {
protected:
    void TearDown() override { initSyzygy(""); }
};

// KPvK.rtbw: four files, two sides; its first header (file a, side 0) is
// a real Huffman header with 49 symbols, block size 6, index bits 15.
struct Case {
    const char *what;
    const char *file;
    std::function<void(Bytes &)> damage;
    const char *fen;
    bool wdl_works;           // the WDL probe still answers (only DTZ was hit)
    const char *registration; // expected stdout of the registration
};

TEST_F(TbCorrupt, DamagedFilesAreRefusedAndTheEngineGoesOn) {
    const size_t kpk_header = firstHeader(3, 4, false);
    const size_t kqkr_header = firstHeader(4, 1, false);
    const Case cases[] = {
        {"wrong magic", "KPvK.rtbw", [](Bytes &b) { b[0] ^= 0xff; }, KPK_WIN, false, ""},
        {"size not 16 mod 64", "KPvK.rtbw", [](Bytes &b) { b.resize(b.size() - 10); }, KPK_WIN, false,
         "info string Incomplete tablebase file KPvK..rtbw\n"},
        {"truncated after the header", "KPvK.rtbw", [](Bytes &b) { b.resize(80); }, KPK_WIN, false, ""},
        {"no room for the header", "KPvK.rtbw", [](Bytes &b) { b.resize(16); }, KPK_WIN, false, ""},
        // KQvKR.rtbz has 4095 symbols, the most a table may have.
        {"symbol count 4096", "KQvKR.rtbz",
         [&](Bytes &b) { putLe16(b, kqkr_header + 10 + 2 * (b[kqkr_header + 8] - b[kqkr_header + 9] + 1), 4096); },
         KQKR_POS, true, ""},
        {"symbol count 65535", "KQvKR.rtbz",
         [&](Bytes &b) { putLe16(b, kqkr_header + 10 + 2 * (b[kqkr_header + 8] - b[kqkr_header + 9] + 1), 65535); },
         KQKR_POS, true, ""},
        {"blocks beyond the end", "KPvK.rtbw", [&](Bytes &b) { b[kpk_header + 7] = 0x40; }, KPK_WIN, false, ""},
        {"code lengths out of range", "KPvK.rtbw", [&](Bytes &b) { b[kpk_header + 8] = 70; }, KPK_WIN, false, ""},
        {"zero index bits", "KPvK.rtbw", [&](Bytes &b) { b[kpk_header + 2] = 0; }, KPK_WIN, false, ""},
        {"symbol pair refers to itself", "KPvK.rtbw",
         [&](Bytes &b) {
             size_t pairs = kpk_header + 12 + 2 * (b[kpk_header + 8] - b[kpk_header + 9] + 1);
             b[pairs] = 0; b[pairs + 1] = 0; b[pairs + 2] = 0;
         },
         KPK_WIN, false, ""},
        {"symbol pair names a missing symbol", "KPvK.rtbw",
         [&](Bytes &b) {
             size_t pairs = kpk_header + 12 + 2 * (b[kpk_header + 8] - b[kpk_header + 9] + 1);
             b[pairs] = 0xff; b[pairs + 1] = 0x0f; b[pairs + 2] = 0x00;
         },
         KPK_WIN, false, ""},
        {"piece code of no piece", "KPvK.rtbw", [](Bytes &b) { b[6] = 0x77; }, KPK_WIN, false, ""},
        {"piece codes of another material", "KPvK.rtbw", [](Bytes &b) { b[7] = 0x55; }, KPK_WIN, false, ""},
        {"order out of range", "KPvK.rtbw", [](Bytes &b) { b[5] = 0xee; }, KPK_WIN, false, ""},
        {"constant value out of range", "KQvK.rtbw", [](Bytes &b) { b[11] = 9; }, "8/8/8/4k3/8/8/8/KQ6 w - - 0 1",
         false, ""},
        {"DTZ file with a wrong magic", "KPvK.rtbz", [](Bytes &b) { b[1] ^= 1; }, KPK_WIN, true, ""},
        {"DTZ file cut short", "KQvKR.rtbz", [](Bytes &b) { b.resize(1024 + 16); }, KQKR_POS, true, ""},
        {"DTZ maps beyond the end", "KQvKR.rtbz", [](Bytes &b) { b.resize(4096 + 16); }, KQKR_POS, true, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TableDir dir;
        Bytes data = readFile(tbTestDir() + "/" + c.file);
        c.damage(data);
        dir.replace(c.file, data);

        Output reg = captured([&] { initSyzygy(dir.path().c_str()); });
        EXPECT_EQ(reg.out, c.registration);
        EXPECT_EQ(max_tb_pieces, 4);

        Probe first, second;
        Output o = captured([&] { first = probeBoth(c.fen); });
        if (c.registration[0] == 0) {
            std::string name = c.file;
            EXPECT_EQ(o.err, "Corrupted table.\n");
            EXPECT_EQ(o.out, "info string Corrupted tablebase file " + name + "\n");
        }
        EXPECT_EQ(first.wdl_success != 0, c.wdl_works);
        EXPECT_EQ(first.dtz_success, 0);

        // Refused once: later probes fail quietly.
        Output again = captured([&] { second = probeBoth(c.fen); });
        EXPECT_EQ(again.out + again.err, "");
        EXPECT_EQ(second.wdl_success != 0, c.wdl_works);
        EXPECT_EQ(second.dtz_success, 0);

        // Other tables are not affected.
        Probe other = probeBoth("8/8/8/4k3/8/8/8/KR6 b - - 0 1");
        EXPECT_EQ(other.wdl, -2);
        EXPECT_NE(other.dtz_success, 0);
    }
}

// A file emptied or cut short after registration (another program rewriting
// the directory) is refused when it is first needed, without mapping it.
TEST_F(TbCorrupt, FileChangedAfterRegistration) {
    for (size_t size : {0, 16, 80}) {
        SCOPED_TRACE(size);
        TableDir dir;
        dir.replace("KPvK.rtbw", readFile(tbTestDir() + "/KPvK.rtbw"));
        initSyzygy(dir.path().c_str());
        ASSERT_EQ(truncate(dir.file("KPvK.rtbw").c_str(), (off_t)size), 0);
        Probe p;
        Output o = captured([&] { p = probeBoth(KPK_WIN); });
        EXPECT_EQ(o.err, "Corrupted table.\n");
        EXPECT_EQ(p.wdl_success, 0);
        fs::remove(dir.file("KPvK.rtbw"));
        // A file removed after registration is simply missing.
        Output gone = captured([&] {
            initSyzygy(dir.path().c_str());
            dir.replace("KPvK.rtbw", readFile(tbTestDir() + "/KPvK.rtbw"));
        });
        EXPECT_EQ(gone.err, "");
    }
}

// The stored data of a file that loads: index and size tables that point
// outside the blocks are found when a value is read.
TEST_F(TbCorrupt, InconsistentIndexFoundWhileReading) {
    for (int which = 0; which < 2; which++) {
        SCOPED_TRACE(which ? "size table" : "index table");
        // Locate the tables of the real file through a normal load.
        initSyzygy(tbTestDir().c_str());
        Probe ok = probeBoth(KPK_WIN);
        ASSERT_EQ(ok.wdl, 2);
        const TableEntry *entry = nullptr;
        for (const TableSlot &s : table_hash)
            if (s.entry && s.entry->has_pawns && s.entry->num_pieces == 3) entry = s.entry;
        ASSERT_NE(entry, nullptr);
        Bytes data = readFile(tbTestDir() + "/KPvK.rtbw");
        for (int i = 0; i < 8; i++) {
            const CompressedTable *d = static_cast<const PawnTable *>(entry)->wdl_encoding[i].compressed;
            if (!d || d->index_bits == 0) continue;
            if (which == 0) {
                size_t at = (size_t)(d->index_table - entry->view[WDL]);
                for (u64 e = 0; e < d->index_entries; e++) data[at + 6 * e + 3] = 0x7f;   // block numbers far out
            } else {
                size_t at = (size_t)(d->size_table - entry->view[WDL]);
                for (u32 e = 0; e < d->size_entries; e++) putLe16(data, at + 2 * e, 0);   // one value per block
            }
        }
        initSyzygy("");
        TableDir dir;
        dir.replace("KPvK.rtbw", data);
        initSyzygy(dir.path().c_str());
        Probe p;
        Output o = captured([&] { p = probeBoth(KPK_WIN); });
        EXPECT_EQ(o.err, "Corrupted table.\n");
        EXPECT_EQ(o.out, "info string Corrupted tablebase file KPvK.rtbw\n");
        EXPECT_EQ(p.wdl_success, 0);
        Output again = captured([&] { p = probeBoth(KPK_WIN); });
        EXPECT_EQ(again.err, "");
        EXPECT_EQ(p.wdl_success, 0);
        initSyzygy("");
    }
}

// Random damage anywhere in a file, and random cuts that keep the size
// test: probes may fail or answer, but never crash or read past the end.
TEST_F(TbCorrupt, RandomDamageNeverCrashes) {
    struct Target {
        const char *file;
        const char *fens[3];
    } targets[] = {
        {"KPvK.rtbw", {KPK_WIN, "8/8/8/4k3/8/8/P7/K7 w - - 0 1", "8/1k6/8/8/2P5/8/8/K7 b - - 0 1"}},
        {"KPvK.rtbz", {KPK_WIN, "8/8/8/3k4/8/1K6/1P6/8 w - - 0 1", "8/8/8/8/2k5/8/1PK5/8 w - - 0 1"}},
        {"KQvKR.rtbz", {KQKR_POS, "8/8/8/4k3/2r5/8/8/KQ6 w - - 0 1", "8/8/3k4/8/8/5r2/8/K2Q4 w - - 0 1"}},
        {"KPvKP.rtbw", {"8/8/4k3/4p3/4P3/4K3/8/8 w - - 0 1", "8/8/8/1k1p4/8/2P5/8/4K3 b - - 0 1",
                        "4k3/8/8/8/6p1/8/1P6/4K3 w - - 0 1"}},
        {"KRvKP.rtbz", {"8/8/8/8/8/2k5/2p5/K6R b - - 0 1", "8/5R2/8/8/3k4/8/3p4/6K1 w - - 0 1",
                        "8/8/8/3k4/8/5p2/R7/4K3 w - - 0 1"}},
    };
    std::mt19937_64 rng(12345);
    int mappings_before = liveMappings();
    for (const Target &t : targets) {
        SCOPED_TRACE(t.file);
        Bytes original = readFile(tbTestDir() + "/" + t.file);
        TableDir dir;
        for (int round = 0; round < 120; round++) {
            Bytes data = original;
            int mode = round % 3;
            if (mode == 0) {
                // A few bytes of the headers.
                size_t span = std::min<size_t>(data.size(), 256);
                for (int k = 0; k < 3; k++) data[rng() % span] ^= (uint8_t)(1 + rng() % 255);
            } else if (mode == 1) {
                // Bytes anywhere, index and block data included.
                for (int k = 0; k < 16; k++) data[rng() % data.size()] = (uint8_t)rng();
            } else {
                // Cut to a random length that still passes the size test.
                size_t blocks = (data.size() - 16) / 64;
                data.resize(16 + 64 * (rng() % (blocks + 1)));
            }
            dir.replace(t.file, data);
            captured([&] {
                initSyzygy(dir.path().c_str());
                for (const char *fen : t.fens) {
                    Probe p = probeBoth(fen);
                    if (p.wdl_success) {
                        EXPECT_GE(p.wdl, -2);
                        EXPECT_LE(p.wdl, 2);
                    }
                }
                TbPosition root = tbFromFen(t.fens[0]);
                tbProbeRoot(&root);
            });
        }
        initSyzygy("");
        EXPECT_EQ(liveMappings(), mappings_before);
    }
}

}  // namespace

namespace {

// A hand-made table of two one-bit codes, 0 for value 'A' and 1 for 'B',
// whose one-byte blocks start at odd addresses, as a crafted file with a
// block size below 8 bytes puts them. The decoder reads its 64-bit code
// window from any address (the sanitized build reports a misaligned load).
TEST(TbDecode, BlocksAtOddAddressesAreRead) {
    const uint8_t block_bytes[] = {0x5a, 0xf0, 0x01, 0x80, 0xff, 0x00, 0x33, 0xcc, 0x96, 0x69, 0x0f, 0xa5};
    const int blocks = (int)sizeof block_bytes;
    // Padding in front makes the blocks odd; the tail lets every read take the
    // full 8-byte path.
    std::vector<uint8_t> file(3 + blocks + 16, 0);
    std::memcpy(&file[3], block_bytes, blocks);
    std::vector<uint8_t> index(6 * blocks), sizes(2 * blocks);
    for (int b = 0; b < blocks; b++) {
        index[6 * b] = (uint8_t)b;  // block b (little-endian u32), then the offset 4 (u16)
        index[6 * b + 4] = 4;
        sizes[2 * b] = 7;           // eight values per block
    }
    const uint8_t pairs[6] = {'A', 0xf0, 0xff, 'B', 0xf0, 0xff};  // two leaves
    uint8_t lengths[2] = {0, 0};

    CompressedTable t{};
    t.index_table = index.data();
    t.size_table = sizes.data();
    t.blocks = &file[3];
    t.symbol_pairs = pairs;
    t.file_end = file.data() + file.size();
    t.symbol_length = lengths;
    t.code_base[1] = 0;
    t.code_offset[1] = 0;
    t.index_entries = (u64)blocks;
    t.num_blocks = (u32)blocks;
    t.size_entries = (u32)blocks;
    t.num_syms = 2;
    t.block_size = 0;
    t.index_bits = 3;
    t.min_len = t.max_len = 1;
    for (int b = 0; b < blocks; b++) {
        for (int i = 0; i < 8; i++) {
            // Bits are read from the top: position 8b + i is bit 7 - i of block b.
            const u8 *w = decompressValue(&t, (u64)(8 * b + i));
            ASSERT_NE(w, nullptr) << "position " << 8 * b + i;
            EXPECT_EQ(w[0], (block_bytes[b] >> (7 - i)) & 1 ? 'B' : 'A') << "position " << 8 * b + i;
        }
    }
}

}  // namespace
