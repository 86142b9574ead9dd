#include "platform/paths.h"

char directorySeparator() { return '\\'; }

// ":" belongs to drive letters ("C:\syzygy"), so only ";" separates.
bool isPathListSeparator(char c) { return c == ';'; }
