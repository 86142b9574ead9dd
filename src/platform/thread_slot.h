// Per-thread state of the engine's layers. A layer declares its state with
// CORVIX_THREAD_STATE(Type, name, slot), which gives
//   Type *name()          the calling thread's instance, reached in one or
//                         two instructions, so that the hottest code may use it;
//   Type *name##Claim()   for a thread that starts searching: makes it use an
//                         instance of its own and returns it (its contents
//                         are undefined until the thread sets them);
//   void name##Release()  gives that instance back when the thread ends;
//   Type *name##AtStartUp() the command loop's instance, for the static
//                         initialisers that run before main (slots are not
//                         usable yet on every system);
// and defines the storage with CORVIX_THREAD_STATE_STORAGE(Type, name) in one
// source file. The program's own thread (the command loop's) has a
// zero-filled instance from the start. Type must be trivially constructible.
//
// On Linux every thread's instance lives in the thread's static TLS block
// (initial-exec TLS of the program: an access costs what a global's does).
// On Windows GCC's thread_local calls a function on every access, far too
// slow for the search: there the program's own thread uses a static
// instance, and a thread with its own instance stores in a TLS slot of the
// thread environment block its byte distance from the static one (0, the
// value of a slot no thread has set, stands for the static instance).
#pragma once

#include <cstdint>
#include <new>

enum ThreadSlot : int {
    THREAD_SLOT_BOARD,   // the ply stack (board/position.h)
    THREAD_SLOT_EVAL,    // the refresh cache (eval/refresh_cache.h)
    THREAD_SLOT_SEARCH,  // the search record and ordering tables (search/thread_state.h)
    THREAD_SLOT_COUNT
};

#if defined(_WIN32)

// The thread environment block of 64-bit Windows holds 64 TLS slots at
// offset 0x1480 of the segment that gs addresses; TlsAlloc hands out their
// indexes (done once at start-up, before main, and never changed: const).
extern const unsigned long thread_slot_index[THREAD_SLOT_COUNT];

// A thread's slot changes only when the thread claims or releases its state,
// which no function that reads the slot does: the read is therefore left to
// the compiler like a pure computation (not volatile), so that a function
// reads each slot once however often it uses it.
inline intptr_t threadSlot(ThreadSlot slot) {
    intptr_t value;
    __asm__("movq %%gs:0x1480(,%1,8), %0" : "=r"(value) : "r"((uintptr_t)thread_slot_index[slot]));
    return value;
}
// Sets the calling thread's value of a slot.
void setThreadSlot(ThreadSlot slot, intptr_t value);

#define CORVIX_THREAD_STATE(Type, name, slot)                                                    \
    extern Type name##_of_main_thread;                                                          \
    inline Type *name() {                                                                       \
        return (Type *)((uintptr_t)&name##_of_main_thread + (uintptr_t)threadSlot(slot));       \
    }                                                                                           \
    inline Type *name##Claim() {                                                                \
        Type *own = new Type;                                                                   \
        setThreadSlot(slot, (intptr_t)((uintptr_t)own - (uintptr_t)&name##_of_main_thread));    \
        return own;                                                                             \
    }                                                                                           \
    inline void name##Release() {                                                               \
        Type *own = name();                                                                     \
        setThreadSlot(slot, 0);                                                                 \
        if (own != &name##_of_main_thread) delete own;                                          \
    }                                                                                           \
    inline Type *name##AtStartUp() { return &name##_of_main_thread; }
#define CORVIX_THREAD_STATE_STORAGE(Type, name) Type name##_of_main_thread;

#else

// The state is defined in the program itself (no shared library has any):
// every access is a single instruction relative to fs.
#define CORVIX_TLS_MODEL __attribute__((tls_model("local-exec")))
#define CORVIX_THREAD_STATE(Type, name, slot)                \
    extern __thread Type name##_of_this_thread CORVIX_TLS_MODEL; \
    inline Type *name() { return &name##_of_this_thread; }   \
    inline Type *name##Claim() { return name(); }            \
    inline void name##Release() {}                           \
    inline Type *name##AtStartUp() { return &name##_of_this_thread; }
#define CORVIX_THREAD_STATE_STORAGE(Type, name) __thread Type name##_of_this_thread CORVIX_TLS_MODEL;

#endif
