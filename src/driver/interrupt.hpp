// SIGINT, SIGTERM and SIGHUP: the one piece of global state, the signal received.
#pragma once

namespace shapemark {

// The first SIGINT, SIGTERM or SIGHUP ends the loop after the current iteration; a second one
// kills the process at once. One that the tool was started with ignored stays ignored. SIGPIPE
// is ignored, so that a closed standard output never cuts a recording short, and so is SIGXFSZ,
// so that a file-size limit shows as a failed write.
void installInterruptHandlers();

// The number of the signal received so far, or 0.
int interruptSignal();

}  // namespace shapemark
