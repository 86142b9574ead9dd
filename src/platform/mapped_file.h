// Read-only files and whole-file mappings, as the tablebase code uses them:
// open a file, ask its size, map all of it read-only, unmap it again.
#pragma once

#include <cstdint>

// A file opened for reading; INVALID_FILE when the open failed.
typedef int FileHandle;
constexpr FileHandle INVALID_FILE = -1;

// Opens an existing regular file for reading. Directories and other special
// files count as missing, so that they are never mapped.
FileHandle openFileForReading(const char *path);

// Size of an open file in bytes; false when it cannot be read.
bool fileSize(FileHandle file, uint64_t *size);

void closeFile(FileHandle file);

// Maps the first `size` bytes of an open file read-only and returns the view,
// or nullptr with the system error code in *error. `size` must be above 0.
const uint8_t *mapFile(FileHandle file, uint64_t size, unsigned long *error);

// Releases a view made by mapFile; false with the system error code on failure.
bool unmapFile(const uint8_t *view, uint64_t size, unsigned long *error);

// Number of views made by mapFile and not yet released.
int liveMappings();
