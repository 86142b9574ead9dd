// The slots of the per-thread state: TLS indexes of the thread environment
// block (see platform/thread_slot.h).
#include "platform/thread_slot.h"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

namespace {

// Slots beyond the first 64 live outside the thread environment block.
constexpr DWORD TEB_SLOTS = 64;

unsigned long allocateSlot() {
    DWORD i = TlsAlloc();
    if (i == TLS_OUT_OF_INDEXES || i >= TEB_SLOTS) {
        std::fprintf(stderr, "No thread-local storage slot left\n");
        std::exit(1);
    }
    return i;  // a fresh slot holds 0 in every thread
}

}  // namespace

extern const unsigned long thread_slot_index[THREAD_SLOT_COUNT] = {allocateSlot(), allocateSlot(), allocateSlot()};

void setThreadSlot(ThreadSlot slot, intptr_t value) { TlsSetValue(thread_slot_index[slot], (void *)value); }
