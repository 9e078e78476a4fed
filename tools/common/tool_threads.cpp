#include "common/tool_threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

constexpr int kMaxThreads = 64;

}  // namespace

int toolThreads() {
    if (const char* text = std::getenv("SLSCAN_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1 && n <= kMaxThreads) return static_cast<int>(n);
    }
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n >= 1) return std::min(n, kMaxThreads);
    }
#endif
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : std::min(static_cast<int>(n), kMaxThreads);
}

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
