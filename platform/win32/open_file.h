#pragma once

// The Windows side's open file, shared by its file access and its output steps.

#include <windows.h>

#include "platform/output_system.h"

namespace vlt {

struct OpenFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace win32 {

inline OwnedFile Own(HANDLE handle) {
    return OwnedFile(new OpenFile{handle});
}

}  // namespace win32
}  // namespace vlt
