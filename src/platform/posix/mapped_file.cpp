// Files and mappings with open, fstat and mmap.
#include "platform/mapped_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static int live_mappings = 0;

FileHandle openFileForReading(const char *path) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer;
    // for regular files the flag changes nothing.
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_FILE;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return INVALID_FILE;
    }
    return fd;
}

bool fileSize(FileHandle file, uint64_t *size) {
    struct stat st;
    if (file == INVALID_FILE || ::fstat((int)file, &st) != 0 || st.st_size < 0) return false;
    *size = (uint64_t)st.st_size;
    return true;
}

void closeFile(FileHandle file) {
    if (file != INVALID_FILE) ::close((int)file);
}

bool createFileMapping(FileHandle file, uint64_t size, MappingHandle *mapping, unsigned long *error) {
    if (file == INVALID_FILE) {
        *error = EBADF;
        return false;
    }
    if (size == 0 || size != (uint64_t)(size_t)size) {
        *error = EINVAL;
        return false;
    }
    // The descriptor itself is the mapping: mmap needs nothing else.
    *mapping = file;
    return true;
}

const uint8_t *mapView(MappingHandle mapping, uint64_t size, unsigned long *error) {
    if (size == 0 || size != (uint64_t)(size_t)size) {
        *error = EINVAL;
        return nullptr;
    }
    void *view = ::mmap(nullptr, (size_t)size, PROT_READ, MAP_SHARED, (int)mapping, 0);
    if (view == MAP_FAILED) {
        *error = (unsigned long)errno;
        return nullptr;
    }
    live_mappings++;
    return (const uint8_t *)view;
}

bool unmapView(const uint8_t *view, uint64_t size, unsigned long *error) {
    if (::munmap((void *)view, (size_t)size) != 0) {
        *error = (unsigned long)errno;
        return false;
    }
    live_mappings--;
    return true;
}

bool closeMapping(MappingHandle, unsigned long *) { return true; }

int liveMappings() { return live_mappings; }
