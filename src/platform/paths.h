// How this system writes file names and lists of directories.
//
// Windows: "C:\syzygy\KQvK.rtbw"; lists are separated by ";" only, so that
// the colon of a drive letter belongs to its directory ("C:\tb;D:\tb\5men").
// "/" works inside a name there too. POSIX: "/tb/KQvK.rtbw"; lists are
// separated by ":" or ";".
#pragma once

// The character placed between a directory and the name of a file in it.
char directorySeparator();

// Whether c separates two directories in a list of them (the SyzygyPath
// option).
bool isPathListSeparator(char c);
