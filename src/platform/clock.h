#pragma once

#include <cstdint>

// Monotonic wall clock in milliseconds.
int64_t clockMs();
