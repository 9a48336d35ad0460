#include <csignal>

#include "driver/run_setup.hpp"

namespace shapemark {

namespace {
// The one global: a signal handler can reach nothing else.
volatile std::sig_atomic_t receivedSignal = 0;

void setAction(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

extern "C" void onInterrupt(int signalNumber) {
    receivedSignal = signalNumber;
    // Back to the default for both, so that any second signal kills at once.
    setAction(SIG_DFL);  // sigaction is async-signal-safe
}
}  // namespace

void installInterruptHandlers() {
    setAction(onInterrupt);
}

int interruptSignal() {
    return receivedSignal;
}

}  // namespace shapemark
