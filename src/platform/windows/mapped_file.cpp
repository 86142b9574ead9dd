// Files and mappings with CreateFileA, GetFileSizeEx, CreateFileMappingA and
// MapViewOfFile.
#include "platform/mapped_file.h"

#include <windows.h>

static int live_mappings = 0;

FileHandle openFileForReading(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return INVALID_FILE;
    // Device names ("NUL", "COM1") open too: only files on a disk count.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return INVALID_FILE;
    }
    return (FileHandle)file;
}

bool fileSize(FileHandle file, uint64_t *size) {
    LARGE_INTEGER s;
    if (file == INVALID_FILE || !GetFileSizeEx((HANDLE)file, &s) || s.QuadPart < 0) return false;
    *size = (uint64_t)s.QuadPart;
    return true;
}

void closeFile(FileHandle file) {
    if (file != INVALID_FILE) CloseHandle((HANDLE)file);
}

bool createFileMapping(FileHandle file, uint64_t size, MappingHandle *mapping, unsigned long *error) {
    if (size == 0) {
        *error = ERROR_FILE_INVALID;
        return false;
    }
    // A maximum size of 0 maps the whole file.
    HANDLE m = CreateFileMappingA((HANDLE)file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!m) {
        *error = GetLastError();
        return false;
    }
    *mapping = (MappingHandle)m;
    return true;
}

const uint8_t *mapView(MappingHandle mapping, uint64_t size, unsigned long *error) {
    if (size == 0 || size != (uint64_t)(SIZE_T)size) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    void *view = MapViewOfFile((HANDLE)mapping, FILE_MAP_READ, 0, 0, (SIZE_T)size);
    if (!view) {
        *error = GetLastError();
        return nullptr;
    }
    live_mappings++;
    return (const uint8_t *)view;
}

bool unmapView(const uint8_t *view, uint64_t, unsigned long *error) {
    if (!UnmapViewOfFile(view)) {
        *error = GetLastError();
        return false;
    }
    live_mappings--;
    return true;
}

bool closeMapping(MappingHandle mapping, unsigned long *error) {
    if (mapping == NO_MAPPING) return true;
    if (!CloseHandle((HANDLE)mapping)) {
        *error = GetLastError();
        return false;
    }
    return true;
}

int liveMappings() { return live_mappings; }
