// An unnamed lock shared by the threads of this process (a Windows mutex
// object, a standard mutex elsewhere).
#pragma once

struct PlatformMutex;
typedef PlatformMutex *MutexHandle;

// A new unlocked mutex, or nullptr when the system has none to give.
MutexHandle createMutex();
// Waits without a time limit until the calling thread holds the mutex.
void lockMutex(MutexHandle mutex);
void unlockMutex(MutexHandle mutex);
// Releases a mutex that no thread holds (nullptr is ignored).
void closeMutex(MutexHandle mutex);

// Holds a mutex for the lifetime of the object.
class MutexLock {
public:
    explicit MutexLock(MutexHandle mutex) : mutex_(mutex) { lockMutex(mutex_); }
    ~MutexLock() { unlockMutex(mutex_); }
    MutexLock(const MutexLock &) = delete;
    MutexLock &operator=(const MutexLock &) = delete;

private:
    MutexHandle mutex_;
};
