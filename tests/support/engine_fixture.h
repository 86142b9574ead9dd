// Shared set-up for unit tests.
#pragma once

#include <string>

// Builds the tables that start-up builds (everything that does not need the
// network file). Called once by the test main.
void initEngineForTests();

// Loads the network file from the working directory once; returns false when
// it is not there (tests that need it then fail with a clear message).
bool networkLoadedForTests();

// Path of a file under tests/data.
std::string testDataPath(const std::string &name);
