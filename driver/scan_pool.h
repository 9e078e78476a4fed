// Decodes the camera views of a run on several threads while the driver
// consumes them in order.
//
// The run's 24 views (angle 0 camera 1, angle 0 camera 2, angle 30 camera 1,
// ...) are handed to the workers in that order; each decodes its view by the
// silent fast path (scanDecodeView) into a table of its own. The driver takes
// the tables in the same order, so everything it prints and writes happens in
// the order and from the thread it always did. Workers run at most a few views
// ahead of the driver, so the finished tables waiting for it stay few; the
// memory of a run grows with the number of workers only (each reuses its own
// class maps from view to view).
//
// With one worker no thread is started: the driver decodes each view itself
// when it takes it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "decode/correspondence.h"
#include "driver/scan_view.h"

constexpr int kScanViews = 24;

struct ScanViewResult {
    bool done = false;     // the worker has finished the view
    bool decoded = false;  // the fast path filled the table
    CorrespondenceTable table;
};

struct ScanPool {
    int window = 0;  // views a worker may start ahead of the driver
    std::mutex mutex;
    std::condition_variable viewDone;
    std::condition_variable viewTaken;
    int nextView = 0;   // the next view a worker starts
    int takenViews = 0; // views the driver has taken
    std::unique_ptr<ScanViewResult[]> results;
    std::vector<std::thread> threads;
    ScanViewWork inlineWork;  // the driver's own, with no threads
};

// The number of workers: SLSCAN_THREADS when it holds a number from 1 to 64,
// otherwise every core the process may run on.
int scanWorkerCount();

// Starts `workers` workers (fewer when the system refuses more threads; none
// for one worker).
void scanPoolStart(ScanPool* pool, int workers);

// Waits for view `view` (taken in order, 0 to 23) and copies its table into
// `table`; false when the fast path could not decode it.
bool scanPoolTake(ScanPool* pool, int view, CorrespondenceTable* table);

// Lets the workers finish and joins them.
void scanPoolStop(ScanPool* pool);

// The camera (1 or 2) and angle of view `view`.
inline int scanViewCamera(int view) { return view % 2 + 1; }
inline int32_t scanViewAngle(int view) { return 30 * (view / 2); }
