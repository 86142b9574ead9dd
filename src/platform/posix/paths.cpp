#include "platform/paths.h"

char directorySeparator() { return '/'; }

bool isPathListSeparator(char c) { return c == ':' || c == ';'; }
