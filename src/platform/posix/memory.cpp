#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdio>

namespace {

// Reads the first unsigned number of a one-line file; false when the file is
// missing or holds something else ("max" of an unlimited cgroup included).
bool readNumberFile(const char *path, uint64_t *value) {
    FILE *f = std::fopen(path, "r");
    if (!f) return false;
    unsigned long long v;
    bool ok = std::fscanf(f, "%llu", &v) == 1;
    std::fclose(f);
    if (ok) *value = v;
    return ok;
}

// MemAvailable of /proc/meminfo in bytes.
bool memAvailable(uint64_t *value) {
    FILE *f = std::fopen("/proc/meminfo", "r");
    if (!f) return false;
    char line[256];
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
            *value = (uint64_t)kb * 1024;
            found = true;
            break;
        }
    }
    std::fclose(f);
    return found;
}

// Room left under the control group's memory limit, when there is one.
bool cgroupRoom(uint64_t *value) {
    uint64_t limit, usage;
    if (readNumberFile("/sys/fs/cgroup/memory.max", &limit) &&
        readNumberFile("/sys/fs/cgroup/memory.current", &usage)) {
        *value = limit > usage ? limit - usage : 0;
        return true;
    }
    if (readNumberFile("/sys/fs/cgroup/memory/memory.limit_in_bytes", &limit) &&
        readNumberFile("/sys/fs/cgroup/memory/memory.usage_in_bytes", &usage) &&
        limit < (1ULL << 62)) {  // v1 writes a huge number when there is no limit
        *value = limit > usage ? limit - usage : 0;
        return true;
    }
    return false;
}

}  // namespace

uint64_t availableMemory() {
    uint64_t result = UINT64_MAX, v;
    if (memAvailable(&v) && v < result) result = v;
    if (cgroupRoom(&v) && v < result) result = v;
    return result;
}

void *allocateZeroed(size_t size) {
    if (size == 0) return nullptr;
    // Anonymous mappings come zero-filled and page-aligned.
    void *block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    // Large pages spare the table probes most of their address-translation misses.
    madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void freeZeroed(void *block, size_t size) {
    if (block) munmap(block, size);
}
