#include "platform/output_system.h"

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
#include <limits>
#include <map>
#include <utility>

#include "platform/posix/open_file.h"
#include "platform/posix/system_text.h"
#include "platform/side_by_side.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Descriptors left to the rest of the run: the standard streams, the input,
// the output being written, the cancel signal, a folder being flushed.
constexpr std::size_t kOtherDescriptors = 16;

// What the file system lacks when it can neither rename without replacing
// nor link: putting a file in place there takes a look and then a rename,
// and a file that appears between the two would be replaced.
constexpr const char* kNoPlacingWithoutReplacing =
    "its file system can put a file in place only over whatever is at its name (it has "
    "neither a rename that refuses an existing file nor hard links), and this output may "
    "not replace one";

// 0 once the content is on disk, else the error. Devices such as /dev/null
// cannot be flushed; that is no failure.
int Flush(const PendingOutput& output) {
    if (posix::Retrying([&] { return ::fsync(output.file->fd); }) != 0 &&
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
    if (posix::Retrying([&] { return ::fstatfs(fd, &fileSystem); }) != 0) {
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

}  // namespace

namespace output_system {

std::string RemoveFile(const fs::path& file) noexcept {
    if (posix::Retrying([&] { return ::unlink(file.c_str()); }) == 0 || errno == ENOENT) {
        return {};
    }
    return posix::Reason(errno);
}

// One syncfs per file system puts all of the batch's outputs there on disk
// at once. It reports any failure to write back on that file system since
// the descriptor it is given was opened (Linux 5.8 and later): the first
// output's, opened before the batch's other outputs were written. The rest
// are flushed one by one with fsyncs issued side by side: those on a file
// system whose syncfs failed (each fsync then tells whether the failure was
// its file's), those where syncfs does not reach, and those written directly
// (devices, pipes). A single output gains nothing from syncfs, which also
// waits for other files.
std::vector<std::string> FlushAll(const std::vector<PendingOutput>& outputs) {
    std::vector<std::size_t> unflushed;
    std::map<dev_t, std::vector<std::size_t>> fileSystems;
    std::map<dev_t, bool> reaches;  // asked once per file system, of its first output
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        struct stat st {};
        const int fd = outputs[i].file->fd;
        if (outputs.size() == 1 || outputs[i].temporary.empty() || !SyncfsReportsFailures() ||
            posix::Retrying([&] { return ::fstat(fd, &st); }) != 0) {
            unflushed.push_back(i);
            continue;
        }
        const auto known = reaches.try_emplace(st.st_dev, false);
        if (known.second) {
            known.first->second = SyncfsReaches(fd);
        }
        if (known.first->second) {
            fileSystems[st.st_dev].push_back(i);
        } else {
            unflushed.push_back(i);
        }
    }
    for (const auto& fileSystem : fileSystems) {
        // Not a structured binding: clang 14 cannot capture one in a lambda.
        const std::vector<std::size_t>& onIt = fileSystem.second;
        const int fd = outputs[onIt.front()].file->fd;
        if (posix::Retrying([&] { return ::syncfs(fd); }) != 0) {
            unflushed.insert(unflushed.end(), onIt.begin(), onIt.end());
        }
    }
    std::sort(unflushed.begin(), unflushed.end());

    std::vector<std::string> errors(outputs.size());
    SideBySide(unflushed.size(), [&](std::size_t i) {
        if (const int error = Flush(outputs[unflushed[i]]); error != 0) {
            errors[unflushed[i]] = posix::Reason(error);
        }
    });
    return errors;
}

std::string CloseFile(OpenFile* file) noexcept {
    const int fd = file->fd;
    delete file;
    // After EINTR the descriptor is gone all the same (Linux): no second close.
    return fd >= 0 && ::close(fd) != 0 && errno != EINTR ? posix::Reason(errno) : std::string();
}

// Puts `output` in place: over an existing file when allowed, else only where
// nothing is, the check and the rename in one step.
Placing PutInPlace(const PendingOutput& output) {
    const char* from = output.temporary.c_str();
    const char* to = output.target.c_str();
    const auto failed = [](int error) {
        return error == EEXIST ? Placing{Placed::Exists, {}}
                               : Placing{Placed::Failed, posix::Reason(error)};
    };
    if (output.mayReplace) {
        return posix::Retrying([&] { return ::rename(from, to); }) == 0 ? Placing{} : failed(errno);
    }
    if (posix::Retrying(
            [&] { return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE); }) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return failed(errno);
    }
    // A file system without that rename: a hard link refuses an existing name
    // too. The output is in place once linked; the temporary name left over
    // is a second name of it, which the caller names.
    if (posix::Retrying([&] { return ::link(from, to); }) == 0) {
        return {Placed::Done, RemoveTemporary(output.temporary)};
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return failed(errno);
    }
    return {Placed::Failed, kNoPlacingWithoutReplacing};
}

// A file system that cannot flush a folder (EINVAL) has nothing more to give.
std::string FlushFolder(const fs::path& folder) {
    const int dir =
        posix::Retrying([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dir < 0) {
        return posix::Reason(errno);
    }
    const int error =
        posix::Retrying([&] { return ::fsync(dir); }) == 0 || errno == EINVAL ? 0 : errno;
    ::close(dir);
    return error == 0 ? std::string() : posix::Reason(error);
}

std::size_t MostOpenOutputs() {
    static const std::size_t most = [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
            return std::numeric_limits<std::size_t>::max();
        }
        const auto open = static_cast<std::size_t>(limit.rlim_cur);
        return open > kOtherDescriptors ? open - kOtherDescriptors : 1;
    }();
    return most;
}

}  // namespace output_system
}  // namespace vlt
