// Pieces of the start-up report.
#pragma once

#include <cstddef>

#include "platform/cpu.h"

// Writes the "info debug Supported instructions : ..." line (with its line
// feed) for the given features into buf; returns buf.
char *supportedInstructionsLine(const CpuFeatures &features, char *buf, size_t size);
