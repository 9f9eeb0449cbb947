#pragma once

// How the POSIX side waits on a descriptor together with a CancelSignal.

#include <string>

#include "platform/cancellation.h"

namespace vlt::posix {

// Waits until `fd` is ready for `events` (POLLIN or POLLOUT), or until
// `timeoutMs` has passed (-1: no limit; a negative fd just sleeps). Returns
// false on timeout. Throws Cancelled as soon as `cancel` (may be null) is requested.
bool WaitReady(int fd, short events, const CancelSignal* cancel, int timeoutMs = -1);

// The system's reason for the failure in errno, as a sentence.
std::string Reason(int error);

}  // namespace vlt::posix
