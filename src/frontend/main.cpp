// Corvix: start-up in a fixed order, then the command loop.
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/position.h"
#include "board/sliders.h"
#include "eval/network.h"
#include "frontend/analyse.h"
#include "frontend/commands.h"
#include "frontend/startup.h"
#include "frontend/uci.h"
#include "platform/console.h"
#include "platform/cpu.h"
#include "search/tables.h"
#include "search/tt.h"
#include "tablebase/tbprobe.h"

int main(int argc, char **argv) {
    consoleInit();

    initPosition();
    initAttackTables();
    initSliders();
    initMoveCentrality();

    std::printf("%s ('quit' to exit)\n", ENGINE_NAME);
    char line[128];
    std::fputs(supportedInstructionsLine(detectCpuFeatures(), line, sizeof line), stdout);

    if (!loadNetwork()) {
        std::printf("info debug Error while loading NNUE file ('%s')\n", NNUE_FILE);
        return 0;
    }
    std::printf("info debug Loading NNUE file : success ('%s')\n", NNUE_FILE);

    initReductionTable();

    // Tablebases with the default path: it names no directory, so nothing is
    // registered and the report says failure.
    initSyzygyAndReport("<empty>");

    for (int i = 1; i < argc; i++) {
        const char *option = std::strstr(argv[i], "-analyse=");
        if (option) return analyseFile(option + std::strlen("-analyse=")) ? 0 : 1;
    }

    ttCreate(HASH_DEFAULT_MB);

    loadFen(START_FEN);
    ttClear();
    commandLoop();
}
