// Work split over the cores for the tools' loops whose items are independent
// (a normal per point, a neighbour list per query, a colour per vertex): each
// item's result depends on that item alone, so the output is the same for
// any number of threads.
#pragma once

#include <cstddef>
#include <functional>

// The threads a tool uses, by the scanner's rule (scanWorkerCount):
// SLSCAN_THREADS when it holds a whole number from 1 to 64, else the cores
// this process may run on.
int toolThreads();

// Calls work(begin, end) over [0, n) in blocks of `block` items, on up to
// toolThreads() threads (the caller's among them). `work` must touch only
// its own items' results.
void toolParallel(size_t n, size_t block, const std::function<void(size_t, size_t)>& work);
