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
            return pool->nextView >= kScanViews ||
                   pool->nextView < pool->takenViews + pool->window;
        });
        if (pool->nextView >= kScanViews) return;
        const int view = pool->nextView++;
        ScanViewResult& result = pool->results[view];
        lock.unlock();
        const bool decoded =
            scanDecodeView(scanViewCamera(view), scanViewAngle(view), &work, &result.table);
        lock.lock();
        result.decoded = decoded;
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

void scanPoolStart(ScanPool* pool, int workers) {
    pool->results = std::make_unique<ScanViewResult[]>(kScanViews);
    if (workers <= 1) return;
    pool->window = 2 * workers;
    for (int i = 0; i < workers && i < kScanViews; ++i) {
        try {
            pool->threads.emplace_back(workerLoop, pool);
        } catch (const std::system_error&) {
            break;  // the threads already started do the work
        }
    }
}

bool scanPoolTake(ScanPool* pool, int view, CorrespondenceTable* table) {
    if (pool->threads.empty()) {
        return scanDecodeView(scanViewCamera(view), scanViewAngle(view), &pool->inlineWork, table);
    }
    ScanViewResult& result = pool->results[view];
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->viewDone.wait(lock, [&result] { return result.done; });
    pool->takenViews = view + 1;
    pool->viewTaken.notify_all();
    lock.unlock();
    if (result.decoded) std::memcpy(table, &result.table, sizeof *table);
    return result.decoded;
}

void scanPoolStop(ScanPool* pool) {
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->takenViews = kScanViews;
        pool->viewTaken.notify_all();
    }
    for (std::thread& thread : pool->threads) thread.join();
    pool->threads.clear();
}
