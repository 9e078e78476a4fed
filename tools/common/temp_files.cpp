#include "common/temp_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

constexpr int kSlots = 64;
constexpr size_t kPathBytes = 4096;
enum : int { kFree = 0, kFilling = 1, kArmed = 2 };

// The one piece of global state in the tools: a signal handler can reach
// nothing else. Fixed size, so the handler neither allocates nor locks; a
// slot's path is written only while it is kFilling, which the handler skips.
struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free atomics");
Slot g_slots[kSlots];

// unlink is async-signal-safe; with SA_RESETHAND the signal, raised again
// once the handler returns, then ends the process with its usual status.
void removeTemporaries(int signal) {
    for (Slot& slot : g_slots)
        if (slot.state.load() == kArmed) unlink(slot.path);
    raise(signal);
}

void installHandlers() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old;
        if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = removeTemporaries;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

std::string why() { return std::strerror(errno); }

}  // namespace

int tempRegister(const std::string& path) {
    static std::once_flag installed;
    std::call_once(installed, installHandlers);
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(kArmed);
        return i;
    }
    return -1;
}

void tempForget(int slot) {
    if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(kFree);
}

bool tempWriteReplacing(const std::string& path, const void* data, size_t size,
                        std::string* error, const char* suffix) {
    const std::string temporary = path + suffix;
    // Registered before it exists: a signal after open finds it covered.
    const int slot = tempRegister(temporary);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        *error = "cannot create \"" + temporary + "\": " + why();
        tempForget(slot);
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    size_t put = 0;
    while (put < size) {
        const ssize_t n = write(fd, bytes + put, size - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        put += static_cast<size_t>(n);
    }
    const bool wrote = put == size;
    const int writeErrno = errno;
    if (close(fd) != 0 || !wrote || rename(temporary.c_str(), path.c_str()) != 0) {
        if (!wrote) errno = writeErrno;
        *error = "cannot write \"" + path + "\": " + why();
        unlink(temporary.c_str());
        tempForget(slot);
        return false;
    }
    tempForget(slot);
    return true;
}
