#include "search/iterate.h"

CORVIX_THREAD_STATE_STORAGE(SearchState, searchState)
