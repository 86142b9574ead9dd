#include "frontend/startup.h"

#include <cstdio>
#include <cstring>

char *supportedInstructionsLine(const CpuFeatures &features, char *buf, size_t size) {
    const bool present[4] = {features.popcnt, features.avx, features.avx2, features.bmi2};
    const char *const names[4] = {"'popcnt'", "'avx1'", "'avx2'", "'bmi2'"};
    int length = std::snprintf(buf, size, "info debug Supported instructions : ");
    bool first = true;
    for (int i = 0; i < 4; i++) {
        if (!present[i]) continue;
        length += std::snprintf(buf + length, size > (size_t)length ? size - length : 0, "%s%s",
                                first ? "" : ", ", names[i]);
        first = false;
    }
    std::snprintf(buf + length, size > (size_t)length ? size - length : 0, "\n");
    return buf;
}
