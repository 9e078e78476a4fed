// The point files of a run: opened and closed the one way every run (the
// built-in rig, a rig file, the dense mode) does it, so that a point file
// that cannot be written is named the same way and never taken for written.
#pragma once

#include <cstdio>

// Opens a point file for writing text; into `buffer` (BUFSIZ bytes, alive
// until the file is closed) when it is not null. nullptr after a message on
// stderr, counted in *fileFaults, when it cannot be created. A name that
// already stands for something other than a regular file is refused
// unopened: opening a FIFO for writing blocks until a reader comes, and a
// device is no place for the points.
std::FILE* scanOpenPointFile(const char* name, char* buffer, int* fileFaults);

// Closes a point file and reports a write that failed at any time (a full
// disk shows in the stream's error state or in the final flush). Nothing
// for a null file.
void scanClosePointFile(std::FILE* file, const char* name, int* fileFaults);
