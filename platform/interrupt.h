#pragma once
// The user's request to stop a command-line run (Ctrl-C, SIGINT, SIGTERM; on Windows Ctrl+C, Ctrl+Break and
// closing the console), turned into a flag that the work looks at between steps, so that it can leave
// everything tidy before the process ends.
#include <atomic>

namespace platform {

// From now on, an interrupt sets *flag (which must live until the process ends) instead of ending the
// process; a second one ends it at once, as usual. Nothing else happens in the signal handler.
void SetFlagOnInterrupt(std::atomic<bool>* flag);

// A write beyond the process's file size limit (ulimit -f) fails with EFBIG, to be reported like any other
// write error, instead of ending the process by SIGXFSZ with a temporary file left behind. Calling it again
// changes nothing. Windows has no such limit: nothing to do there.
void IgnoreFileSizeLimitSignal();

} // namespace platform
