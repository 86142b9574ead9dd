// Zero-filled blocks from VirtualAlloc, with large pages when the process
// holds the privilege to lock memory ("Lock pages in memory", which a user
// must grant explicitly); otherwise, silently, ordinary pages.
#include "platform/memory.h"

#include <windows.h>

#include <cstring>

namespace {

// Enables SeLockMemoryPrivilege once. It can only be enabled when the
// account holds it; AdjustTokenPrivileges then reports ERROR_SUCCESS.
bool largePagesAllowed() {
    static int allowed = -1;
    if (allowed >= 0) return allowed == 1;
    allowed = 0;
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, "SeLockMemoryPrivilege", &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS)
        allowed = 1;
    CloseHandle(token);
    return allowed == 1;
}

}  // namespace

uint64_t availableMemory() {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return UINT64_MAX;
    // Physical memory not in use, and what the commit limit still allows.
    uint64_t result = status.ullAvailPhys;
    if (status.ullAvailPageFile < result) result = status.ullAvailPageFile;
    if (status.ullAvailVirtual < result) result = status.ullAvailVirtual;
    return result;
}

void *allocateZeroed(size_t size) {
    if (size == 0) return nullptr;
    SIZE_T large_page = GetLargePageMinimum();
    if (large_page && size >= large_page && largePagesAllowed()) {
        // Large pages are committed (and locked) at once, in whole pages.
        SIZE_T rounded = (size + large_page - 1) / large_page * large_page;
        void *block = VirtualAlloc(nullptr, rounded, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE);
        if (block) return block;
    }
    // Committed pages read as zeros until they are first written.
    void *block = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!block) return nullptr;
    // Windows supplies ordinary pages one at a time on first touch, 4 KB
    // each, and a fault can cost tens of microseconds (in virtual machines
    // above all). A search that stores into a fresh table faults on nearly
    // every node, and the time between two looks at the clock and the input
    // grows to hundreds of milliseconds. The pages are therefore touched
    // here, once, while nothing waits for an answer.
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    volatile char *bytes = (volatile char *)block;
    for (size_t at = 0; at < size; at += info.dwPageSize) bytes[at] = 0;
    return block;
}

void zeroBlock(void *block, size_t size) {
    // Decommitting and committing again would hand back zero pages too, but
    // the second step can fail under memory pressure and is not possible
    // with large pages: writing the zeros is always safe.
    if (block && size) std::memset(block, 0, size);
}

void freeZeroed(void *block, size_t) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}
