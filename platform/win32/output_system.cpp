#include "platform/output_system.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/win32/long_path.h"
#include "platform/win32/open_file.h"
#include "platform/win32/system_text.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Flushes issued at once: each waits for its own disk commit, and side by
// side they share them, as fsyncs do.
constexpr std::size_t kFlushThreads = 16;
// Handles are not scarce on Windows (some sixteen million per process); the
// bound only keeps a batch's memory and open files reasonable.
constexpr std::size_t kMostOpenOutputs = 512;

// "" once the content is on disk, else the reason. Only disk files are
// flushed: a pipe's flush would wait until its reader has read everything,
// and devices such as NUL take none.
std::string Flush(const PendingOutput& output) {
    const HANDLE handle = output.file->handle;
    if (::GetFileType(handle) != FILE_TYPE_DISK || ::FlushFileBuffers(handle)) {
        return {};
    }
    const DWORD error = ::GetLastError();
    return output.temporary.empty() && error == ERROR_INVALID_FUNCTION ? std::string()
                                                                       : win32::Reason(error);
}

}  // namespace

void CloseOpenFile::operator()(OpenFile* file) const noexcept {
    if (file->handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file->handle);
    }
    delete file;
}

namespace output_system {

// Windows has no flush of a whole volume short of administrator rights: every
// output gets its own FlushFileBuffers, issued side by side.
std::vector<std::string> FlushAll(const std::vector<PendingOutput>& outputs) {
    std::vector<std::string> errors(outputs.size());
    const auto flushEvery = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < outputs.size(); i += step) {
            errors[i] = Flush(outputs[i]);
        }
    };
    const std::size_t lanes = std::min(outputs.size(), kFlushThreads);
    std::vector<std::jthread> helpers;
    std::size_t lane = 1;
    try {
        for (; lane < lanes; ++lane) {
            helpers.emplace_back(flushEvery, lane, lanes);
        }
    } catch (const std::system_error&) {  // no more threads: the rest flush here
    }
    for (std::size_t rest = lane; rest < lanes; ++rest) {
        flushEvery(rest, lanes);
    }
    flushEvery(0, lanes);
    for (std::jthread& helper : helpers) {
        helper.join();
    }
    return errors;
}

std::string Close(PendingOutput& output) {
    const HANDLE handle = std::exchange(output.file->handle, INVALID_HANDLE_VALUE);
    output.file.reset();
    return ::CloseHandle(handle) ? std::string() : win32::Reason(::GetLastError());
}

// One rename that either replaces or refuses a file in the way, the check
// and the rename in one step. Written through: it returns once the rename is
// on disk.
Placing PutInPlace(const PendingOutput& output) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (output.replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(win32::LongPath(output.temporary).c_str(),
                      win32::LongPath(output.target).c_str(), flags)) {
        return {};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return {Placed::Exists, {}};
    }
    return {Placed::Failed, win32::Reason(error)};
}

// Nothing to do: NTFS journals the rename, and MOVEFILE_WRITE_THROUGH has
// already waited for it to reach the disk.
std::string FlushFolder(const fs::path&) {
    return {};
}

std::size_t MostOpenOutputs() {
    return kMostOpenOutputs;
}

}  // namespace output_system
}  // namespace vlt
