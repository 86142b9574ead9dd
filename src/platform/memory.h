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
// the system offers them; nullptr on failure. On POSIX systems the pages are
// supplied lazily (2 MB at a time where transparent huge pages exist), so the
// allocation itself is cheap; Windows touches every page at once, since its
// 4 KB pages would otherwise fault in one at a time during the search.
void *allocateZeroed(size_t size);
// Fills a block of allocateZeroed with zeros again. On POSIX systems the
// pages are handed back to the system and come back zero-filled when next
// touched, so that clearing a large table that was only partly used costs
// little; Windows writes the zeros.
void zeroBlock(void *block, size_t size);
// Releases a block of allocateZeroed (nullptr is ignored).
void freeZeroed(void *block, size_t size);
