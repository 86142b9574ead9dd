// All builds give the same answers: the same script produces the same bytes
// on every build this processor runs (timing figures masked).
#include <regex>
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

// The script exercises the console, the protocol handlers, the board code
// through perft and the refusal paths.
std::string script() {
    std::string s;
    s += "uci\nisready\n  hello\t world \r\nstop now\n";
    s += std::string(9000, 'z') + "\n";
    s += "perft\nperft 3\nperft 0\nperft 99\n";
    s += "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5\nperft 3\n";
    s += "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\nperft 3\n";
    s += "position fen rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8 moves d7c8q\nperft 3\n";
    s += "position fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1\nperft 4\n";
    s += "position fen 8/8/8/8/8/8/8/X7 w - - 0 1\nposition startpos moves e2e5\nperft 2\n";
    s += "ucinewgame\nperft 2\nsetoption name SyzygyPath value <empty>\nquit now\n";
    return s;
}

std::string masked(const std::string &out) {
    static const std::regex timing(" nodes in [0-9]+ ms, speed = [0-9]+ nodes/s");
    return std::regex_replace(out, timing, " nodes in # ms, speed = # nodes/s");
}

TEST(Consistency, EveryBuildPrintsTheSameBytes) {
    const std::vector<std::string> &isas = testedIsas();
    ASSERT_FALSE(isas.empty());
    std::string reference;
    for (const std::string &isa : isas) {
        SCOPED_TRACE("corvix-" + isa);
        RunResult r = runScript(programPath(isa), script(), binaryDir(), 60000);
        EXPECT_TRUE(r.exit.finished && r.exit.exited && r.exit.status == 0) << describe(r.exit);
        EXPECT_EQ(r.err, "");
        std::string out = masked(r.out);
        EXPECT_GT(out.size(), 1000u);
        if (reference.empty())
            reference = out;
        else
            EXPECT_EQ(out, reference) << "differs from corvix-" << isas.front();
    }
}

}  // namespace
