#pragma once

// Ctrl-C, SIGTERM and SIGHUP ask the running operation to stop cleanly; a
// second signal ends the program at once.

#include <atomic>

namespace vlt::cli {

// Installs the handlers; the flag they set is the one to hand to the engine.
const std::atomic<bool>& InstallInterruptHandlers();

}  // namespace vlt::cli
