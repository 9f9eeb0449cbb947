#include "platform/output_batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
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

// Whether syncfs reports write-back failures: Linux 5.8 and later.
bool SyncfsReportsFailures() {
    static const bool reports = [] {
        utsname system{};
        int major = 0, minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

// One name for every way of naming a file: "a", "./a" and "dir/../a" alike.
fs::path SameFileKey(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute : canonical;
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

bool OutputBatch::Holds(const fs::path& path) const {
    // Names first: an input unlike every output costs no system call.
    return std::any_of(pending_.begin(), pending_.end(), [&](const PendingOutput& output) {
        return output.target.filename() == path.filename() &&
               SameFileKey(output.target) == SameFileKey(path);
    });
}

// One syncfs per file system puts all of the batch's outputs there on disk
// at once. It reports any failure to write back on that file system since
// the descriptor it is given was opened (Linux 5.8 and later): the first
// output's, opened before the batch's other outputs were written. Returns the
// outputs still to flush one by one: those on a file system whose syncfs
// failed (each fsync then tells whether the failure was its file's), and
// those written directly (devices, pipes).
std::vector<std::size_t> OutputBatch::SyncEachFileSystem() const {
    std::vector<std::size_t> unflushed;
    std::map<dev_t, std::vector<std::size_t>> fileSystems;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        struct stat st {};
        if (pending_[i].temporary.empty() || !SyncfsReportsFailures() ||
            ::fstat(pending_[i].fd, &st) != 0) {
            unflushed.push_back(i);
        } else {
            fileSystems[st.st_dev].push_back(i);
        }
    }
    for (const auto& [device, outputs] : fileSystems) {
        if (::syncfs(pending_[outputs.front()].fd) != 0) {
            unflushed.insert(unflushed.end(), outputs.begin(), outputs.end());
        }
    }
    std::sort(unflushed.begin(), unflushed.end());
    return unflushed;
}

// Flushes the given outputs with fsyncs issued side by side, which share the
// file system's work; returns each output's error (0 when on disk).
std::vector<int> OutputBatch::FlushSideBySide(const std::vector<std::size_t>& outputs) const {
    std::vector<int> errors(pending_.size(), 0);
    const auto flushEvery = [&](std::size_t first, std::size_t step) {
        for (std::size_t i = first; i < outputs.size(); i += step) {
            errors[outputs[i]] = Flush(pending_[outputs[i]]);
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

std::vector<std::optional<FileError>> OutputBatch::Complete() {
    const std::size_t n = pending_.size();
    // A single output gains nothing from syncfs, which also waits for other files.
    std::vector<int> errors =
        FlushSideBySide(n > 1 ? SyncEachFileSystem() : std::vector<std::size_t>(n, 0));

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
