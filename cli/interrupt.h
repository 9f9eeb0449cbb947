#pragma once

// Ctrl-C, SIGTERM and SIGHUP ask the running operation to stop: it removes its
// temporary file and vlt exits with 128 + the signal's number. The handlers
// only record the request, so a second signal cannot cut that cleanup short.

#include "platform/cancellation.h"

namespace vlt::cli {

// Installs the handlers; the signal they request is the one to hand to the engine.
const CancelSignal& InstallInterruptHandlers();

// 128 + the number of the first signal received: 130 for SIGINT, 143 for
// SIGTERM, 129 for SIGHUP.
int InterruptedExitStatus();

}  // namespace vlt::cli
