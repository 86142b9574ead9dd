// How many processors the engine may run on.
#pragma once

// Processors this process is allowed to run on (its affinity mask, which a
// user may narrow with taskset or "start /affinity"); at least 1.
int usableProcessors();
