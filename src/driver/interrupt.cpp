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
    // A reader that goes away (say `| head`) must not kill the run mid-recording: the counter
    // is only a progress display, so its writes may fail quietly.
    std::signal(SIGPIPE, SIG_IGN);
}

int interruptSignal() {
    return receivedSignal;
}

}  // namespace shapemark
