#include "common/tool_threads.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "driver/scan_pool.h"

// The same rule as the scanner's own workers.
int toolThreads() { return scanWorkerCount(); }

void toolParallel(size_t n, size_t block, const std::function<void(size_t, size_t)>& work) {
    if (n == 0) return;
    block = std::max<size_t>(block, 1);
    const size_t blocks = (n + block - 1) / block;
    const int threads = static_cast<int>(std::min<size_t>(toolThreads(), blocks));
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t b; (b = next++) < blocks;) work(b * block, std::min(n, (b + 1) * block));
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(run);
    run();
    for (std::thread& t : pool) t.join();
}
