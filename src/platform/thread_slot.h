// Per-thread slots: one machine word per slot and thread, 0 in every thread
// until that thread sets its own. Reading a slot costs one or two loads, so
// the hottest code of the engine can reach the calling thread's state
// through it (see boardState, threadRefreshCache, searchState).
//
// Each layer keeps its state of the program's own thread (the command loop's)
// as a static object and stores, in the threads that have their own state,
// the distance from that object in bytes: the value 0 of a thread that never
// set its slot therefore stands for the program's own state.
#pragma once

#include <cstdint>

enum ThreadSlot : int {
    THREAD_SLOT_BOARD,   // the ply stack (board/position.h)
    THREAD_SLOT_EVAL,    // the refresh cache (eval/refresh_cache.h)
    THREAD_SLOT_SEARCH,  // the search record and ordering tables (search/thread_state.h)
    THREAD_SLOT_COUNT
};

#if defined(_WIN32)

// The thread environment block of 64-bit Windows holds 64 TLS slots at
// offset 0x1480 of the segment that gs addresses; TlsAlloc hands out their
// indexes (done once at start-up, before main).
extern unsigned long thread_slot_index[THREAD_SLOT_COUNT];

inline intptr_t threadSlot(ThreadSlot slot) {
    intptr_t value;
    __asm__ __volatile__("movq %%gs:0x1480(,%1,8), %0" : "=r"(value) : "r"((uintptr_t)thread_slot_index[slot]));
    return value;
}

#else

extern thread_local intptr_t thread_slots[THREAD_SLOT_COUNT];

inline intptr_t threadSlot(ThreadSlot slot) { return thread_slots[slot]; }

#endif

// Sets the calling thread's value of a slot.
void setThreadSlot(ThreadSlot slot, intptr_t value);

// The value that makes a slot point at state instead of base: the byte
// distance between the two.
inline intptr_t slotDistance(const void *state, const void *base) {
    return (intptr_t)((uintptr_t)state - (uintptr_t)base);
}
// The state a slot value points at, counted from base.
template <class T>
inline T *slotTarget(T *base, intptr_t value) {
    return (T *)((uintptr_t)base + (uintptr_t)value);
}
