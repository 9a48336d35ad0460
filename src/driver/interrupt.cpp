#include <atomic>
#include <csignal>

#include "driver/interrupt.hpp"

namespace shapemark {

namespace {
// The one global: a signal handler can reach nothing else. Atomic, because the handler may run
// on any of the library's threads; lock-free, so that the handler may touch it.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void setAction(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

extern "C" void onInterrupt(int signalNumber) {
    receivedSignal.store(signalNumber, std::memory_order_relaxed);
    // Back to the default for both, so that any second signal kills at once.
    setAction(SIG_DFL);  // sigaction is async-signal-safe
}
}  // namespace

void installInterruptHandlers() {
    setAction(onInterrupt);
    // A reader that goes away (say `| head`) must not kill the run mid-recording: the counter
    // is only a progress display, so its writes may fail quietly.
    std::signal(SIGPIPE, SIG_IGN);
}

int interruptSignal() {
    return receivedSignal.load(std::memory_order_relaxed);
}

}  // namespace shapemark
