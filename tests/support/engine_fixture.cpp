#include "support/engine_fixture.h"

#include "board/attacks.h"
#include "board/position.h"
#include "board/sliders.h"
#include "eval/network.h"

void initEngineForTests() {
    initPosition();
    initAttackTables();
    initSliders();
}

bool networkLoadedForTests() {
    static int state = -1;
    if (state < 0) state = loadNetwork() ? 1 : 0;
    return state == 1;
}

std::string testDataPath(const std::string &name) { return std::string(CORVIX_TEST_DATA) + "/" + name; }
