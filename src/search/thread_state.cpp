#include "search/thread_state.h"

SearchState main_search_state;
