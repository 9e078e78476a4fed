#include "driver/scan_pool.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

constexpr int kMaxWorkers = 64;

void workerLoop(ScanPool* pool) {
    ScanViewWork work;
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->viewTaken.wait(lock, [pool] {
            return pool->nextView >= pool->views ||
                   pool->nextView < pool->takenViews + pool->window;
        });
        if (pool->nextView >= pool->views) return;
        const int view = pool->nextView++;
        ScanViewResult& result = pool->results[view];
        lock.unlock();
        const bool decoded = scanDecodeView(scanViewCamera(view), scanViewAngle(pool->layout, view),
                                            &work, &result.table);
        lock.lock();
        result.decoded = decoded;
        result.width = work.width;
        result.height = work.height;
        result.done = true;
        pool->viewDone.notify_all();
    }
}

}  // namespace

int scanWorkerCount() {
    if (const char* text = std::getenv("SLSCAN_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1 && n <= kMaxWorkers) return static_cast<int>(n);
    }
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n >= 1) return n < kMaxWorkers ? n : kMaxWorkers;
    }
#endif
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : (n < kMaxWorkers ? static_cast<int>(n) : kMaxWorkers);
}

void scanPoolStart(ScanPool* pool, const ScanLayout& layout, int workers) {
    pool->layout = layout;
    pool->views = scanViewCount(layout);
    pool->results = std::make_unique<ScanViewResult[]>(static_cast<size_t>(pool->views));
    if (workers <= 1) return;
    pool->window = 2 * workers;
    for (int i = 0; i < workers && i < pool->views; ++i) {
        try {
            pool->threads.emplace_back(workerLoop, pool);
        } catch (const std::system_error&) {
            break;  // the threads already started do the work
        }
    }
}

bool scanPoolTake(ScanPool* pool, int view, CorrespondenceTable* table, int32_t* width,
                  int32_t* height) {
    if (pool->threads.empty()) {
        ScanViewWork* work = &pool->inlineWork;
        const bool decoded = scanDecodeView(scanViewCamera(view), scanViewAngle(pool->layout, view),
                                            work, table);
        *width = work->width;
        *height = work->height;
        return decoded;
    }
    ScanViewResult& result = pool->results[view];
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->viewDone.wait(lock, [&result] { return result.done; });
    pool->takenViews = view + 1;
    pool->viewTaken.notify_all();
    lock.unlock();
    if (result.decoded) std::memcpy(table, &result.table, sizeof *table);
    *width = result.width;
    *height = result.height;
    return result.decoded;
}

void scanPoolStop(ScanPool* pool) {
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->takenViews = pool->views;
        pool->viewTaken.notify_all();
    }
    for (std::thread& thread : pool->threads) thread.join();
    pool->threads.clear();
}
