#include <atomic>
#include <csignal>
#include <initializer_list>

#include "driver/interrupt.hpp"

namespace shapemark {

namespace {
// The one global: a signal handler can reach nothing else. Atomic, because the handler may run
// on any of the library's threads; lock-free, so that the handler may touch it.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr std::initializer_list<int> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// Moves every stop signal whose handler is `from` to `to`. An ignored one stays ignored: a shell
// starts background jobs and nohup starts its command that way, and expects it to hold.
using Handler = void (*)(int);

void moveHandlers(const Handler from, const Handler to) {
    for (const int signalNumber : kStopSignals) {
        struct sigaction current {};
        sigaction(signalNumber, nullptr, &current);  // sigaction is async-signal-safe
        if (current.sa_handler != from) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = to;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
}

extern "C" void onInterrupt(int signalNumber) {
    receivedSignal.store(signalNumber, std::memory_order_relaxed);
    // Back to the default for all of them, so that any second signal kills at once.
    moveHandlers(onInterrupt, SIG_DFL);
}
}  // namespace

void installInterruptHandlers() {
    moveHandlers(SIG_DFL, onInterrupt);
    // A reader that goes away (say `| head`) must not kill the run mid-recording: the counter
    // is only a progress display, so its writes may fail quietly.
    std::signal(SIGPIPE, SIG_IGN);
    // A file-size limit then fails the write instead of killing the process, and the lost
    // frames are reported like those of a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
}

int interruptSignal() {
    return receivedSignal.load(std::memory_order_relaxed);
}

}  // namespace shapemark
