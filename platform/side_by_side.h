#pragma once

// Slow calls that wait for a device, such as flushing many files, issued at
// once on threads of their own so that the device can serve them together.

#include <cstddef>
#include <functional>

namespace vlt {

// Calls `each(i)` for every i below `count`, on up to 16 threads (more share
// no further commits on the disks measured); on fewer, down to the calling
// thread alone, when no more threads can be had. Returns once all returned.
void SideBySide(std::size_t count, const std::function<void(std::size_t)>& each);

}  // namespace vlt
