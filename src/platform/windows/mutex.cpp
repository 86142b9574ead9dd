// An unnamed Windows mutex object. The handle itself is the MutexHandle.
#include "platform/mutex.h"

#include <windows.h>

MutexHandle createMutex() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    return (MutexHandle)mutex;
}

void lockMutex(MutexHandle mutex) { WaitForSingleObject((HANDLE)mutex, INFINITE); }

void unlockMutex(MutexHandle mutex) { ReleaseMutex((HANDLE)mutex); }

void closeMutex(MutexHandle mutex) {
    if (mutex) CloseHandle((HANDLE)mutex);
}
