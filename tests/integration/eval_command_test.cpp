// The "eval" command in every build: the published evaluations of the real
// network, printed with two decimals.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "integration/engine.h"

using namespace corvix_test;

namespace {

class EvalCommand : public EngineTest {};

TEST_P(EvalCommand, PrintsThePublishedEvaluations) {
    std::ifstream in(std::string(CORVIX_TEST_DATA) + "/eval_public.txt");
    std::string line, script;
    std::vector<std::string> expected;
    while (std::getline(in, line)) {
        size_t a = line.find(';'), b = line.find(';', a + 1);
        ASSERT_NE(b, std::string::npos) << line;
        char text[64];
        std::snprintf(text, sizeof text, "eval = %0.2lf", std::stoi(line.substr(a + 1, b - a - 1)) * 0.01);
        expected.push_back(text);
        script += "position fen " + line.substr(0, a) + "\neval\n";
    }
    ASSERT_EQ(expected.size(), 24u);
    EXPECT_EQ(run(script + "quit\n"), expected);
}

TEST_P(EvalCommand, StartPositionAndMovesPlayed) {
    // Start-up leaves the start position; moves update the accumulator.
    EXPECT_EQ(run("eval\nposition startpos moves e2e4\neval\nposition fen 8/8/8/4k3/8/8/8/4K3 b - - 0 1\neval\nquit\n"),
              (std::vector<std::string>{"eval = -0.03", "eval = -0.06", "eval = 0.00"}));
}

CORVIX_FOR_EACH_BUILD(EvalCommand);

}  // namespace
