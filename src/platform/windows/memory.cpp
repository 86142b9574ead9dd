// Zero-filled blocks from VirtualAlloc, with large pages when the process
// holds the privilege to lock memory ("Lock pages in memory", which a user
// must grant explicitly); otherwise, silently, ordinary pages (asked to be
// huge pages of the host when the program runs under Wine on Linux).
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

// Under Wine on a Linux host the block is an anonymous mapping of the host,
// which gets ordinary 4 KB pages: every table probe then walks the page
// tables, and the search runs at about 0.7 of the native Linux program's
// speed. The host kernel gives transparent huge pages to a mapping that asks
// for them (madvise with MADV_HUGEPAGE), exactly as the Linux build does; the
// request is made with the host's own system call, and only when Wine says
// that it runs on Linux, so a real Windows never sees it.
bool wineOnLinux() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll) return false;
    typedef void(__cdecl * HostVersion)(const char **sysname, const char **release);
    HostVersion host_version = (HostVersion)(void *)GetProcAddress(ntdll, "wine_get_host_version");
    if (!host_version) return false;
    const char *sysname = nullptr, *release = nullptr;
    host_version(&sysname, &release);
    return sysname && std::strcmp(sysname, "Linux") == 0;
}

void adviseHostHugePages(void *block, size_t size) {
    static const bool on_linux_host = wineOnLinux();
    if (!on_linux_host) return;
    constexpr long LINUX_SYS_MADVISE = 28;
    constexpr long LINUX_MADV_HUGEPAGE = 14;
    long result;
    // The result is not needed: without huge pages the block still works.
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(LINUX_SYS_MADVISE), "D"(block), "S"(size), "d"(LINUX_MADV_HUGEPAGE)
                     : "rcx", "r11", "memory");
    (void)result;
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
    if (block) adviseHostHugePages(block, size);
    return block;
}

void freeZeroed(void *block, size_t) {
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}
