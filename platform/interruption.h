#pragma once

// Ctrl-C and its kin ask the running operation to stop: it removes its
// temporary file and the program exits with InterruptedExitStatus(). The
// handlers only record the request, so a second one cannot cut that
// cleanup short. On POSIX systems: SIGINT, SIGTERM and SIGHUP; on Windows:
// Ctrl-C, Ctrl-Break and closing the console. Each system implements this
// header in platform/<system>/interruption.cpp.

#include "platform/cancellation.h"

namespace vlt {

// Installs the handlers; the signal they request is the one to hand to the engine.
const CancelSignal& InstallInterruptHandlers();

namespace interruption {
// Each system's own: installs the handlers that request `requests`, which
// outlives them.
void InstallHandlers(CancelSignal& requests);
}  // namespace interruption

// The exit status after an interruption: 128 + the number of the first
// signal (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP); 130 on Windows,
// as shells read Ctrl-C there too.
int InterruptedExitStatus();

}  // namespace vlt
