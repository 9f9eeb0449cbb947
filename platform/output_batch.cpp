#include "platform/output_batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Flushes issued at once; more share no further commits on the disks measured.
constexpr std::size_t kFlushThreads = 16;

// 0 once the content is on disk, else the error. Devices such as /dev/null
// cannot be flushed; that is no failure.
int Flush(const PendingOutput& output) {
    if (::fsync(output.fd) != 0 &&
        !(output.temporary.empty() && (errno == EINVAL || errno == EROFS))) {
        return errno;
    }
    return 0;
}

fs::path FolderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

}  // namespace

OutputBatch::~OutputBatch() {
    for (const PendingOutput& output : pending_) {
        ::close(output.fd);
        if (!output.temporary.empty()) {
            ::unlink(output.temporary.c_str());
        }
    }
}

void OutputBatch::Add(PendingOutput output) {
    bytes_ += output.bytes;
    pending_.push_back(std::move(output));
}

std::vector<std::optional<FileError>> OutputBatch::Complete() {
    const std::size_t n = pending_.size();
    std::vector<int> errors(n, 0);
    const auto flushEvery = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < n; i += step) {
            errors[i] = Flush(pending_[i]);
        }
    };
    const std::size_t lanes = std::min(n, kFlushThreads);
    {
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
    }  // joins the helpers

    std::vector<std::optional<FileError>> failures(n);
    std::set<fs::path> folders;
    for (std::size_t i = 0; i < n; ++i) {
        PendingOutput& output = pending_[i];
        if (::close(std::exchange(output.fd, -1)) != 0 && errno != EINTR && errors[i] == 0) {
            errors[i] = errno;
        }
        if (errors[i] != 0) {
            failures[i].emplace(output.name, "cannot write", errors[i]);
        } else if (!output.temporary.empty()) {
            if (::rename(output.temporary.c_str(), output.target.c_str()) != 0) {
                failures[i].emplace(output.name, "cannot replace", errno);
            } else {
                output.temporary.clear();
                folders.insert(FolderOf(output.target));
            }
        }
        if (failures[i] && !output.temporary.empty()) {
            ::unlink(output.temporary.c_str());
        }
    }
    // Makes the renames themselves durable.
    for (const fs::path& folder : folders) {
        if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    pending_.clear();
    bytes_ = 0;
    return failures;
}

}  // namespace vlt
