#include "search/thread_state.h"

CORVIX_THREAD_STATE_STORAGE(SearchState, searchState)
