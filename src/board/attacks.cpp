#include "board/attacks.h"

// Placeholder until the tables are filled.
void initAttackTables() {}
