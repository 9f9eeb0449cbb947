#pragma once

// The POSIX side's open file, shared by its file access and its output steps,
// and the retry every call on a file system gets.

#include <cerrno>

#include "platform/output_system.h"

namespace vlt {

struct OpenFile {
    int fd = -1;
};

namespace posix {

inline OwnedFile Own(int fd) {
    return OwnedFile(new OpenFile{fd});
}

// Calls `call` again for as long as it fails with EINTR: a file system that
// can be interrupted (NFS mounted with intr, FUSE) reports a signal that way
// even for calls that would otherwise restart, and the signal has already
// done its work (a request to stop is seen by the run's own checks).
template <typename Call>
auto Retrying(Call call) {
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}

}  // namespace posix
}  // namespace vlt
