// The processor-feature line of the start-up report.
#include <gtest/gtest.h>

#include "frontend/startup.h"

namespace {

TEST(SupportedInstructions, EveryCombinationOfFeatures) {
    struct Case { bool popcnt, avx, avx2, bmi2; const char *list; };
    const Case cases[] = {
        {false, false, false, false, ""},
        {true, false, false, false, "'popcnt'"},
        {false, true, false, false, "'avx1'"},
        {false, false, true, false, "'avx2'"},
        {false, false, false, true, "'bmi2'"},
        {true, true, false, false, "'popcnt', 'avx1'"},
        {true, false, true, false, "'popcnt', 'avx2'"},
        {true, false, false, true, "'popcnt', 'bmi2'"},
        {false, true, true, false, "'avx1', 'avx2'"},
        {false, true, false, true, "'avx1', 'bmi2'"},
        {false, false, true, true, "'avx2', 'bmi2'"},
        {true, true, true, false, "'popcnt', 'avx1', 'avx2'"},
        {true, true, false, true, "'popcnt', 'avx1', 'bmi2'"},
        {true, false, true, true, "'popcnt', 'avx2', 'bmi2'"},
        {false, true, true, true, "'avx1', 'avx2', 'bmi2'"},
        {true, true, true, true, "'popcnt', 'avx1', 'avx2', 'bmi2'"},
    };
    for (const Case &c : cases) {
        CpuFeatures f = {c.popcnt, c.avx, c.avx2, c.bmi2, false};
        char buf[128];
        EXPECT_EQ(std::string(supportedInstructionsLine(f, buf, sizeof buf)),
                  std::string("info debug Supported instructions : ") + c.list + "\n");
    }
}

TEST(SupportedInstructions, MatchesTheCompilersProbe) {
    __builtin_cpu_init();
    CpuFeatures f = detectCpuFeatures();
    EXPECT_EQ(f.popcnt, (bool)__builtin_cpu_supports("popcnt"));
    EXPECT_EQ(f.ssse3, (bool)__builtin_cpu_supports("ssse3"));
    EXPECT_EQ(f.avx, (bool)__builtin_cpu_supports("avx"));
    EXPECT_EQ(f.avx2, (bool)__builtin_cpu_supports("avx2"));
    EXPECT_EQ(f.bmi2, (bool)__builtin_cpu_supports("bmi2"));
}

}  // namespace
