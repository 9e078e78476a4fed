#include "mesh/mesh_signals.h"

#include <signal.h>

#include <thread>

namespace {

sigset_t heldSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void meshHoldSignals(std::mutex* writing) {
    const sigset_t set = heldSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, writing] {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) return;
        writing->lock();  // a write in progress finishes (or cleans up) first
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigaction(signal, &action, nullptr);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        raise(signal);
    }).detach();
}
