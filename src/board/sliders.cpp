#include "board/sliders.h"

// Placeholder until the tables are filled.
void initSliders() {}
