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

// What went wrong during a run, for the summary at its end.
struct ScanFaults {
    int unreadablePhotographs = 0;
    int skippedCameras = 0;
    int fileFaults = 0;
};

// Ends a run: the success line on stdout and status 0 when `faults` is 0,
// otherwise "slscan: finished with faults: <summary>." on stderr and status 1.
int scanEnd(int faults, const char* summary);

// scanEnd with the summary of the built-in and rig-file runs.
int scanFinish(const ScanFaults& faults);
