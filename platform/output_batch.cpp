#include "platform/output_batch.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <system_error>
#include <thread>
#include <utility>

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Flushes issued at once; more share no further commits on the disks measured.
constexpr std::size_t kFlushThreads = 16;
// A batch holds at most this many outputs, or this many bytes written and not yet on disk.
constexpr std::size_t kMostOutputs = 256;
constexpr std::uint64_t kMostBytes = 64 << 20;
// Descriptors left to the rest of the run: the standard streams, the input,
// the output being written, the cancel signal, a folder being flushed.
constexpr std::size_t kOtherDescriptors = 16;

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

// Whether syncfs on the file system of `fd` puts its files' data on disk:
// true for the file systems that keep it on a disk of this machine or in its
// memory, whose syncfs writes back every file and reports write-back failures.
// FUSE, NFS, SMB/CIFS, 9p and other network or user-space file systems hold
// the data elsewhere and their syncfs does not reach it (a FUSE daemon never
// sees one); they, and any file system not named here, get an fsync per file.
bool SyncfsReaches(int fd) {
    struct statfs fileSystem {};
    if (::fstatfs(fd, &fileSystem) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fileSystem.f_type)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case F2FS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case OVERLAYFS_SUPER_MAGIC:  // its syncfs is the upper file system's
        case 0x3153464aUL:           // jfs
        case REISERFS_SUPER_MAGIC:
        case MSDOS_SUPER_MAGIC:
        case 0x2011bab0UL:  // exfat
        case 0xca451a4eUL:  // bcachefs
            return true;
        default:
            return false;
    }
}

// Puts `output` in place: over an existing file when allowed, else only where
// nothing is, the check and the rename in one step. Returns 0 or the error
// (EEXIST when a file is in the way).
int PutInPlace(const PendingOutput& output) {
    const char* from = output.temporary.c_str();
    const char* to = output.target.c_str();
    if (output.replace) {
        return ::rename(from, to) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return errno;
    }
    // A file system without that rename: a hard link refuses an existing name too.
    if (::link(from, to) == 0) {
        ::unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return errno;
    }
    // Neither (FAT through FUSE, some network shares): look, then rename.
    struct stat st {};
    if (::lstat(to, &st) == 0) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::rename(from, to) == 0 ? 0 : errno;
}

// Makes the renames in `folder` durable; 0 or the error. A file system that
// cannot flush a folder (EINVAL) has nothing more to give.
int FlushFolder(const fs::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return errno;
    }
    const int error = ::fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
    ::close(dir);
    return error;
}

std::size_t MostOutputs() {
    static const std::size_t most = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
            return kMostOutputs;
        }
        const auto open = static_cast<std::size_t>(limit.rlim_cur);
        return std::clamp<std::size_t>(open > kOtherDescriptors ? open - kOtherDescriptors : 1, 1,
                                       kMostOutputs);
    }();
    return most;
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
            RemoveTemporary(output.temporary);  // only when a run was abandoned by an exception
        }
    }
}

bool OutputBatch::Full() const {
    return pending_.size() >= MostOutputs() || bytes_ >= kMostBytes;
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
            ::fstat(pending_[i].fd, &st) != 0 || !SyncfsReaches(pending_[i].fd)) {
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
    std::map<fs::path, std::vector<std::size_t>> folders;  // and the outputs put in place there
    for (std::size_t i = 0; i < n; ++i) {
        PendingOutput& output = pending_[i];
        if (::close(std::exchange(output.fd, -1)) != 0 && errno != EINTR && errors[i] == 0) {
            errors[i] = errno;
        }
        if (errors[i] != 0) {
            failures[i].emplace(output.name, "cannot write", errors[i]);
        } else if (!output.temporary.empty()) {
            if (const int error = PutInPlace(output); error == EEXIST) {
                failures[i] = FileError::Exists(output.name);
            } else if (error != 0) {
                failures[i].emplace(output.name, "cannot put the output in place", error);
            } else {
                output.temporary.clear();
                folders[FolderOf(output.target)].push_back(i);
            }
        }
        if (failures[i] && !output.temporary.empty()) {
            if (const std::string note = RemoveTemporary(output.temporary); !note.empty()) {
                failures[i]->AddNote(note);
            }
        }
    }
    for (const auto& [folder, placed] : folders) {
        if (const int error = FlushFolder(folder); error != 0) {
            for (const std::size_t i : placed) {
                failures[i].emplace(pending_[i].name,
                                    "is in place, but its folder '" + folder.string() +
                                        "' could not be flushed to disk",
                                    error);
            }
        }
    }
    pending_.clear();
    bytes_ = 0;
    return failures;
}

}  // namespace vlt
