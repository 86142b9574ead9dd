// Large zero-filled allocations, and how much memory the system can still
// back with real pages.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of memory the process can still use without being killed or pushing
// the system into swap: the smaller of MemAvailable (/proc/meminfo) and what
// is left under the control group's limit (v2 or v1). UINT64_MAX when neither
// can be read.
uint64_t availableMemory();

// Allocates size zero-filled bytes aligned to 64 bytes (pages are supplied
// lazily, so the allocation itself is cheap); nullptr on failure.
void *allocateZeroed(size_t size);
// Fills a block of allocateZeroed with zeros again. The pages are handed back
// to the system and come back zero-filled when next touched, so that clearing
// a large table that was only partly used costs little.
void zeroBlock(void *block, size_t size);
// Releases a block of allocateZeroed (nullptr is ignored).
void freeZeroed(void *block, size_t size);
