#include "platform/thread_slot.h"

// Initial-exec TLS in the program: reading a slot is one load relative to fs.
thread_local intptr_t thread_slots[THREAD_SLOT_COUNT];

void setThreadSlot(ThreadSlot slot, intptr_t value) { thread_slots[slot] = value; }
