// Tablebase speed: time of initSyzygy on a directory of tables, and time
// per WDL probe with the tables already mapped.
//
//   tb_bench-<isa> [directory]   (default ../shared/data/syzygy)
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tablebase/tbprobe.h"

typedef std::chrono::steady_clock Clock;

static double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Random legal positions of a material such as "KRPvKB".
static std::vector<TbPosition> sample(const char *name, int count, std::mt19937_64 &rng) {
    std::vector<TbPosition> out;
    while ((int)out.size() < count) {
        TbPosition p = {};
        bool ok = true;
        int side = 0;
        for (const char *c = name; *c; c++) {
            if (*c == 'v') {
                side = 1;
                continue;
            }
            int sq;
            do sq = (int)(rng() & 63);
            while (((p.white | p.black) >> sq) & 1);
            if (*c == 'P' && (sq < 8 || sq >= 56)) ok = false;
            uint64_t b = 1ULL << sq;
            (side ? p.black : p.white) |= b;
            switch (*c) {
            case 'K': p.kings |= b; break;
            case 'Q': p.queens |= b; break;
            case 'R': p.rooks |= b; break;
            case 'B': p.bishops |= b; break;
            case 'N': p.knights |= b; break;
            default: p.pawns |= b; break;
            }
        }
        p.turn = (uint8_t)(rng() & 1);
        if (ok && tbIsLegal(&p)) out.push_back(p);
    }
    return out;
}

static void probeSet(const char *label, const std::vector<const char *> &tables, int per_table, int rounds) {
    std::mt19937_64 rng(1);
    std::vector<TbPosition> positions;
    for (const char *t : tables) {
        std::vector<TbPosition> s = sample(t, per_table, rng);
        positions.insert(positions.end(), s.begin(), s.end());
    }
    long failed = 0, sum = 0;
    for (const TbPosition &p : positions) {   // maps and warms every table
        int success;
        sum += probeWdl(&p, &success);
        failed += success == 0;
    }
    Clock::time_point t0 = Clock::now();
    for (int r = 0; r < rounds; r++)
        for (const TbPosition &p : positions) {
            int success;
            sum += probeWdl(&p, &success);
        }
    double ms = msSince(t0);
    double n = (double)positions.size() * rounds;
    std::printf("WDL probe, %s: %.3f us per probe (%.0f probes, %ld failed, checksum %ld)\n", label,
                ms * 1000.0 / n, n, failed, sum);
}

int main(int argc, char **argv) {
    std::string dir = argc > 1 ? argv[1] : "../shared/data/syzygy";

    Clock::time_point t0 = Clock::now();
    initSyzygy(dir.c_str());
    double first = msSince(t0);
    std::printf("initSyzygy(%s): %d pieces, first call %.2f ms\n", dir.c_str(), max_tb_pieces, first);
    if (max_tb_pieces == 0) return 1;
    const int runs = 20;
    t0 = Clock::now();
    for (int i = 0; i < runs; i++) initSyzygy(dir.c_str());
    std::printf("initSyzygy: %.2f ms per call (mean of %d)\n", msSince(t0) / runs, runs);

    probeSet("4-piece tables",
             {"KQQvK", "KQRvK", "KQBvK", "KQNvK", "KQPvK", "KRRvK", "KRBvK", "KRNvK", "KRPvK", "KBBvK",
              "KBNvK", "KBPvK", "KNNvK", "KNPvK", "KPPvK", "KQvKQ", "KQvKR", "KQvKB", "KQvKN", "KQvKP",
              "KRvKR", "KRvKB", "KRvKN", "KRvKP", "KBvKB", "KBvKN", "KBvKP", "KNvKN", "KNvKP", "KPvKP"},
             2000, 20);
    if (max_tb_pieces >= 5)
        probeSet("5-piece tables", {"KQRvKR", "KRBvKR", "KRPvKR", "KBNvKB", "KQBvKQ", "KBBPvK"}, 2000, 10);
    initSyzygy("");
    return 0;
}
