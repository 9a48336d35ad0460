// SIGINT and SIGTERM: the one piece of global state, the signal received.
#pragma once

namespace shapemark {

// The first SIGINT or SIGTERM ends the loop after the current iteration; a second one kills
// the process at once. SIGPIPE is ignored, so that a closed standard output never cuts a
// recording short.
void installInterruptHandlers();

// The number of the signal received so far, or 0.
int interruptSignal();

}  // namespace shapemark
