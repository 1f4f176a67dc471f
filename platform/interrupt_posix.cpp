#include "platform/interrupt.h"

#include <csignal>

namespace platform {
namespace {

// A signal handler has no other way to reach the program's state.
std::atomic<bool>* gInterruptFlag = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void OnSignal(int) {
    if (gInterruptFlag != nullptr) {
        gInterruptFlag->store(true);
    }
}

} // namespace

void SetFlagOnInterrupt(std::atomic<bool>* flag) {
    gInterruptFlag = flag;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes carry on; the handler is reset after the first signal, so that a second
    // one ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void IgnoreFileSizeLimitSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
