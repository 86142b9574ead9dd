// Large zero-filled allocations, and how much memory the system can still
// back with real pages.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of memory the process can still use without being killed or pushing
// the system into swap, UINT64_MAX when the system does not say. POSIX: the
// smaller of MemAvailable (/proc/meminfo) and what is left under the control
// group's limit (v2 or v1). Windows: the smaller of the free physical memory
// and what the commit limit still allows (GlobalMemoryStatusEx).
uint64_t availableMemory();

// Allocates size zero-filled bytes aligned to 64 bytes, on large pages where
// the system offers them; nullptr on failure. The system may supply the pages
// only when they are first touched.
void *allocateZeroed(size_t size);
// Releases a block of allocateZeroed (nullptr is ignored).
void freeZeroed(void *block, size_t size);
