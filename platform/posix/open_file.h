#pragma once

// The POSIX side's open file, shared by its file access and its output batches.

#include "platform/output_batch.h"

namespace vlt {

struct OpenFile {
    int fd = -1;
};

namespace posix {

inline OwnedFile Own(int fd) {
    return OwnedFile(new OpenFile{fd});
}

}  // namespace posix
}  // namespace vlt
