// Decodes the camera views of a run on several threads while the driver
// consumes them in order.
//
// The run's views (in the order of image/scan_layout.h: angle 0 camera 1,
// angle 0 camera 2, next angle camera 1, ...) are handed to the workers in that order; each decodes its view by the
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
#include "image/scan_layout.h"

struct ScanViewResult {
    bool done = false;     // the worker has finished the view
    bool decoded = false;  // the fast path filled the table
    int32_t width = 0, height = 0;  // the view's picture size, when decoded
    CorrespondenceTable table;
};

struct ScanPool {
    ScanLayout layout;
    int views = 0;   // of the layout
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

// Starts `workers` workers on the views of `layout` (fewer when the system
// refuses more threads; none for one worker).
void scanPoolStart(ScanPool* pool, const ScanLayout& layout, int workers);

// Waits for view `view` (taken in order, 0 to the layout's view count - 1) and
// copies its table into `table` and its picture size into *width and *height;
// false when the fast path could not decode it.
bool scanPoolTake(ScanPool* pool, int view, CorrespondenceTable* table, int32_t* width,
                  int32_t* height);

// Lets the workers finish and joins them.
void scanPoolStop(ScanPool* pool);
