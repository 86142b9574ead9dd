// Registration of table files: the enumeration of names, the directory list,
// the size test, table_hash, and releasing every mapping again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "board/assert.h"
#include "platform/mapped_file.h"
#include "tablebase/tbinternal.h"
#include "tablebase/tbprobe.h"
#include "unit/tb_helpers.h"

namespace fs = std::filesystem;

namespace {

// A scratch directory with table files of given sizes, removed afterwards.
class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/corvix-tb-XXXXXX";
        path_ = mkdtemp(templ);
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string &path() const { return path_; }
    std::string sub(const std::string &name) const {
        fs::create_directories(path_ + "/" + name);
        return path_ + "/" + name;
    }
    static void writeFile(const std::string &file, size_t size) {
        std::ofstream out(file, std::ios::binary);
        std::string zeros(size, '\0');
        out.write(zeros.data(), (std::streamsize)zeros.size());
    }

private:
    std::string path_;
};

const TableEntry *entryOf(u64 key) {
    for (const TableSlot &s : table_hash)
        if (s.entry && s.key == key) return s.entry;
    return nullptr;
}

int slotsOf(const TableEntry *e) {
    int n = 0;
    for (const TableSlot &s : table_hash) n += s.entry == e;
    return n;
}

u64 keyOfName(const char *name) {
    TbPosition p = {};
    int side = 0, sq = 0;
    for (const char *c = name; *c; c++) {
        if (*c == 'v') {
            side = 1;
            continue;
        }
        tbPutPiece(p, *c, side != 0, sq++);
    }
    return materialKey(&p, false);
}

class TbRegistry : public ::testing::Test {
protected:
    void TearDown() override { initSyzygy(""); }
};

TEST_F(TbRegistry, EnumerationNamesEveryMaterialOnceInItsOrder) {
    initSyzygy("");
    const char *first[] = {"KQvK", "KRvK", "KBvK", "KNvK", "KPvK", "KQvKQ", "KQvKR"};
    for (int i = 0; i < 7; i++) EXPECT_STREQ(table_names[i], first[i]);
    // Patterns 1-5 hold 5 + 15 + 15 + 75 + 35 names; pattern 6 follows.
    EXPECT_STREQ(table_names[145], "KQQvKQQ");
    EXPECT_STREQ(table_names[146], "KQQvKQR");
    EXPECT_STREQ(table_names[TB_NUM_NAMES - 1], "KPPPvKPP");

    std::set<u64> keys;
    int with_pawns = 0;
    for (int i = 0; i < TB_NUM_NAMES; i++) {
        std::string name = table_names[i];
        with_pawns += name.find('P') != std::string::npos;
        EXPECT_LE(name.size(), 8u) << name;
        u64 key = keyOfName(name.c_str());
        std::string swapped = name.substr(name.find('v') + 1) + "v" + name.substr(0, name.find('v'));
        u64 other = keyOfName(swapped.c_str());
        EXPECT_TRUE(keys.insert(key).second) << name;
        if (other != key) {
            EXPECT_TRUE(keys.insert(other).second) << name << " swapped";
        }
    }
    EXPECT_EQ(with_pawns, TB_MAX_PAWN_TABLES);
    EXPECT_EQ(TB_NUM_NAMES - with_pawns, TB_MAX_PIECE_TABLES);
}

TEST_F(TbRegistry, PathIsSplitAtSemicolonsAndColons) {
    struct Case {
        const char *path;
        std::vector<std::string> dirs;
    } cases[] = {
        {"tb1;tb2", {"tb1", "tb2"}},
        {";tb1", {"tb1"}},
        {"tb1;", {"tb1"}},
        {"tb1;;tb2", {"tb1", "tb2"}},
        {"/a/b:/c", {"/a/b", "/c"}},
        {"::x;:y:", {"x", "y"}},
        {";", {}},
    };
    for (const Case &c : cases) {
        initSyzygy(c.path);
        std::vector<std::string> got(tb_paths, tb_paths + num_tb_paths);
        EXPECT_EQ(got, c.dirs) << c.path;
        EXPECT_EQ(max_tb_pieces, 0) << c.path;
    }
    initSyzygy("<empty>");
    EXPECT_EQ(num_tb_paths, 0);
}

TEST_F(TbRegistry, RegistersWhatTheDirectoriesHold) {
    TempDir dir;
    std::string a = dir.sub("a"), b = dir.sub("b");
    TempDir::writeFile(a + "/KQvK.rtbw", 16 + 64);
    TempDir::writeFile(a + "/KQvKQ.rtbw", 16 + 64 * 3);
    TempDir::writeFile(a + "/KQvKQ.rtbz", 16 + 64);
    TempDir::writeFile(b + "/KRvK.rtbw", 100);           // fails the size test
    TempDir::writeFile(b + "/KQvKR.rtbw", 16);
    TempDir::writeFile(b + "/KQvKR.rtbz", 100);          // reported, no DTZ
    TempDir::writeFile(b + "/KQQvKP.rtbw", 16);
    fs::create_directories(b + "/KBvK.rtbw");             // a directory is no table
    ASSERT_EQ(mkfifo((b + "/KNvK.rtbw").c_str(), 0600), 0);  // nor is a named pipe (opening it must not wait)

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    initSyzygy((a + ";" + dir.path() + "/missing:" + b).c_str());
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "info string Incomplete tablebase file KRvK..rtbw\n"
                   "info string Incomplete tablebase file KQvKR..rtbz\n");
    EXPECT_EQ(err, "Incomplete tablebase file KRvK..rtbw\nIncomplete tablebase file KQvKR..rtbz\n");

    EXPECT_EQ(max_tb_pieces, 5);
    EXPECT_EQ(num_pawnless_tables, 3);
    EXPECT_EQ(num_pawn_tables, 1);

    const TableEntry *kqk = entryOf(keyOfName("KQvK"));
    ASSERT_NE(kqk, nullptr);
    EXPECT_EQ(kqk->num_pieces, 3);
    EXPECT_FALSE(kqk->dtz_available);
    EXPECT_FALSE(kqk->symmetric);
    EXPECT_EQ(slotsOf(kqk), 2);
    EXPECT_EQ(entryOf(keyOfName("KvKQ")), kqk);
    EXPECT_FALSE(kingsPaired(kqk));

    const TableEntry *kqkq = entryOf(keyOfName("KQvKQ"));
    ASSERT_NE(kqkq, nullptr);
    EXPECT_TRUE(kqkq->symmetric);
    EXPECT_TRUE(kqkq->dtz_available);
    EXPECT_EQ(slotsOf(kqkq), 1);

    const TableEntry *kqkr = entryOf(keyOfName("KQvKR"));
    ASSERT_NE(kqkr, nullptr);
    EXPECT_FALSE(kqkr->dtz_available);
    EXPECT_EQ(entryOf(keyOfName("KRvKQ")), kqkr);

    EXPECT_EQ(entryOf(keyOfName("KRvK")), nullptr);
    EXPECT_EQ(entryOf(keyOfName("KBvK")), nullptr);
    EXPECT_EQ(entryOf(keyOfName("KNvK")), nullptr);

    const TableEntry *kqqkp = entryOf(keyOfName("KQQvKP"));
    ASSERT_NE(kqqkp, nullptr);
    EXPECT_TRUE(kqqkp->has_pawns);
    EXPECT_EQ(pawnCount(kqqkp)[0], 1);
    EXPECT_EQ(pawnCount(kqqkp)[1], 0);
    for (int k = 0; k < TB_KINDS; k++) EXPECT_FALSE(kqqkp->loaded[k]);
}

TEST_F(TbRegistry, FirstDirectoryHoldingAFileWins) {
    TempDir dir;
    std::string tb1 = dir.sub("tb1"), tb2 = dir.sub("tb2");
    TempDir::writeFile(tb1 + "/KQvK.rtbw", 100);
    TempDir::writeFile(tb2 + "/KQvK.rtbw", 80);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    initSyzygy((tb1 + ";" + tb2).c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string Incomplete tablebase file KQvK..rtbw\n");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(max_tb_pieces, 0);
    testing::internal::CaptureStdout();
    initSyzygy((tb2 + ";" + tb1).c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(max_tb_pieces, 3);
}

TEST_F(TbRegistry, PawnCountsAndPairedKings) {
    TempDir dir;
    const char *names[] = {"KPvKP", "KPPvKP", "KPvK", "KQvKP", "KRPvKPP", "KQQvK", "KQvK", "KQQvKRR", "KRRvKR"};
    for (const char *n : names) TempDir::writeFile(dir.path() + "/" + n + ".rtbw", 16);
    initSyzygy(dir.path().c_str());
    struct PawnCase {
        const char *name;
        int lead, other;
    } pawn_cases[] = {{"KPvKP", 1, 1}, {"KPPvKP", 1, 2}, {"KPvK", 1, 0}, {"KQvKP", 1, 0}, {"KRPvKPP", 1, 2}};
    for (const PawnCase &c : pawn_cases) {
        const TableEntry *e = entryOf(keyOfName(c.name));
        ASSERT_NE(e, nullptr) << c.name;
        EXPECT_EQ(pawnCount(e)[0], c.lead) << c.name;
        EXPECT_EQ(pawnCount(e)[1], c.other) << c.name;
    }
    struct PairedCase {
        const char *name;
        bool paired;
    } paired_cases[] = {{"KQQvK", true}, {"KQvK", false}, {"KQQvKRR", true}, {"KRRvKR", false}};
    for (const PairedCase &c : paired_cases) {
        const TableEntry *e = entryOf(keyOfName(c.name));
        ASSERT_NE(e, nullptr) << c.name;
        EXPECT_EQ((bool)kingsPaired(e), c.paired) << c.name;
    }
}

// Whether any mapping of a file under dir is left in this process.
bool mapsFilesUnder(const std::string &dir) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    std::string real = fs::canonical(dir).string();
    while (std::getline(maps, line))
        if (line.find(real) != std::string::npos) return true;
    return false;
}

TEST_F(TbRegistry, NewInitialisationReleasesEveryMapping) {
    const std::string dir = tbTestDir();
    const char *fens[] = {"8/8/8/4k3/8/8/8/KQ6 w - - 0 1", "8/8/8/4k3/8/8/1r6/KR6 b - - 0 1",
                          "8/8/8/4k3/8/3p4/8/KR6 b - - 0 1", "8/8/8/4k3/8/8/P7/K7 w - - 0 1"};
    int before = liveMappings();
    for (const char *second : {"<empty>", "", "same"}) {
        initSyzygy(dir.c_str());
        for (const char *fen : fens) {
            TbPosition p = tbFromFen(fen);
            int success = 0;
            probeDtz(&p, &success);
            EXPECT_NE(success, 0) << fen;
        }
        EXPECT_GT(liveMappings(), before);
        EXPECT_TRUE(mapsFilesUnder(dir));
        initSyzygy(std::string(second) == "same" ? dir.c_str() : second);
        EXPECT_EQ(liveMappings(), before) << second;
        EXPECT_FALSE(mapsFilesUnder(dir)) << second;
        if (max_tb_pieces) {
            // Registered again, all unloaded.
            for (int i = 0; i < num_pawnless_tables; i++)
                for (int k = 0; k < TB_KINDS; k++) EXPECT_FALSE(pawnless_tables[i].loaded[k]);
            for (int i = 0; i < num_pawn_tables; i++)
                for (int k = 0; k < TB_KINDS; k++) EXPECT_FALSE(pawn_tables[i].loaded[k]);
        } else {
            // Nothing can be probed any more, and trying does no harm.
            TbPosition p = tbFromFen(fens[0]);
            int success = 1;
            probeWdl(&p, &success);
            EXPECT_EQ(success, 0);
            EXPECT_EQ(liveMappings(), before);
        }
    }
}

TEST_F(TbRegistry, ReportLinesAndLog) {
    const std::string dir = tbTestDir();
    // The log goes to the working directory: use a fresh one, so that other
    // programs running in the build directory do not interfere.
    TempDir work;
    std::string old_cwd = fs::current_path().string();
    fs::current_path(work.path());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(initSyzygyAndReport(dir.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info debug Initialisation of Syzygy : success (4 pieces)\n");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initSyzygyAndReport("<empty>"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info debug Initialisation of Syzygy : failure\n");
    EXPECT_EQ(max_tb_pieces, 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initSyzygyAndReport((work.path() + "/nothing-here").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info debug Initialisation of Syzygy : failure\n");
    std::ifstream log(LOG_FILE);
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "Syzygy ok\n");
    fs::current_path(old_cwd);
}

TEST_F(TbRegistry, RecordArraysCanBeFreedAtQuit) {
    initSyzygy(tbTestDir().c_str());
    EXPECT_GT(max_tb_pieces, 0);
    freeTableArrays();
    EXPECT_EQ(pawnless_tables, nullptr);
    EXPECT_EQ(pawn_tables, nullptr);
    EXPECT_EQ(max_tb_pieces, 0);
    // A later initialisation allocates them again.
    initSyzygy(tbTestDir().c_str());
    EXPECT_EQ(max_tb_pieces, 4);
}

}  // namespace
