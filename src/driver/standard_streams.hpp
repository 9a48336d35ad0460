// The three standard streams, made safe to use before anything else is opened.
#pragma once

namespace shapemark {

// Reopens a closed standard input, output or error on /dev/null. A file opened later would
// otherwise take the free descriptor, and the counter or a muted error stream would write over it.
void reopenClosedStandardStreams();

}  // namespace shapemark
