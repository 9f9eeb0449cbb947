#pragma once

// How the POSIX side waits on a file that may keep a run waiting (a pipe, a
// terminal) together with a CancelSignal (in platform/posix/cancellation.cpp):
// poll() on the descriptor and on the signal's eventfd at once.

#include "platform/cancellation.h"

namespace vlt::posix {

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT), or until
// `timeoutMs` has passed (-1: no limit; a negative fd just sleeps). Returns
// false on timeout. Throws Cancelled as soon as `cancel` (may be null) is requested.
bool WaitReady(int fd, short events, const CancelSignal* cancel, int timeoutMs = -1);

}  // namespace vlt::posix
