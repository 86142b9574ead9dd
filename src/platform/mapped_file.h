// Read-only files and whole-file mappings, as the tablebase code uses them:
// open a file, ask its size, make a mapping of it and a read-only view of all
// of it, then release the view and the mapping again.
//
// The steps follow the Windows calls (CreateFileA, GetFileSizeEx,
// CreateFileMappingA, MapViewOfFile, UnmapViewOfFile, CloseHandle). On POSIX
// systems there is no mapping object of its own: the open file stands for
// it, so the view must be made before the file is closed, and closing the
// mapping has nothing to release.
#pragma once

#include <cstdint>

// A file opened for reading; INVALID_FILE when the open failed.
typedef intptr_t FileHandle;
constexpr FileHandle INVALID_FILE = -1;

// A mapping made from an open file; NO_MAPPING when there is none.
typedef intptr_t MappingHandle;
constexpr MappingHandle NO_MAPPING = -1;

// Opens an existing regular file for reading (others may read it too).
// Directories, devices and other special files count as missing, so that
// they are never mapped.
FileHandle openFileForReading(const char *path);

// Size of an open file in bytes; false when it cannot be read.
bool fileSize(FileHandle file, uint64_t *size);

void closeFile(FileHandle file);

// Makes a read-only mapping of the whole file, whose size is `size` bytes
// (above 0). False with the system error code in *error on failure.
bool createFileMapping(FileHandle file, uint64_t size, MappingHandle *mapping, unsigned long *error);

// Maps a read-only view of all `size` bytes of a mapping and returns it, or
// nullptr with the system error code in *error.
const uint8_t *mapView(MappingHandle mapping, uint64_t size, unsigned long *error);

// Releases a view made by mapView; false with the system error code.
bool unmapView(const uint8_t *view, uint64_t size, unsigned long *error);

// Releases a mapping made by createFileMapping; false with the system error
// code. NO_MAPPING is ignored.
bool closeMapping(MappingHandle mapping, unsigned long *error);

// Number of views made by mapView and not yet released.
int liveMappings();
