// Worker threads leave SIGINT, SIGTERM and SIGHUP to the main thread, whose loop acts on them.
#pragma once

#include <pthread.h>

#include <csignal>

namespace shapemark {

// Blocks the three interrupts in this thread for its lifetime; threads started meanwhile
// inherit the mask.
class InterruptsBlocked {
  public:
    InterruptsBlocked() {
        sigset_t interrupts;
        sigemptyset(&interrupts);
        sigaddset(&interrupts, SIGINT);
        sigaddset(&interrupts, SIGTERM);
        sigaddset(&interrupts, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &interrupts, &previous_);
    }
    ~InterruptsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;
    InterruptsBlocked(InterruptsBlocked&&) = delete;
    InterruptsBlocked& operator=(InterruptsBlocked&&) = delete;

  private:
    sigset_t previous_{};
};

}  // namespace shapemark
