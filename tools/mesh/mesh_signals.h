// Interruption without debris: the tool writes its files under temporary
// names and renames them. An interrupt (SIGINT, SIGTERM, SIGHUP) must neither
// leave a temporary file behind nor cut a write short, so the signals are
// held back in every thread and handed to one watcher thread, which waits
// until the writer lets go of `writing` and then ends the process by the
// signal's own default action (the exit status a shell expects).
#pragma once

#include <mutex>

// Call before any other thread starts (the mask is inherited). `writing` must
// outlive the process's work; hold it while temporary files exist.
void meshHoldSignals(std::mutex* writing);
