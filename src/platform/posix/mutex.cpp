#include "platform/mutex.h"

#include <mutex>
#include <new>

struct PlatformMutex {
    std::mutex mutex;
};

MutexHandle createMutex() { return new (std::nothrow) PlatformMutex; }

void lockMutex(MutexHandle mutex) { mutex->mutex.lock(); }

void unlockMutex(MutexHandle mutex) { mutex->mutex.unlock(); }

void closeMutex(MutexHandle mutex) { delete mutex; }
