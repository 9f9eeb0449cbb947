#include "platform/file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/open_file.h"
#include "platform/posix/stalling_io.h"
#include "platform/posix/system_text.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;
using posix::Reason;
using posix::Retrying;
using posix::WaitReady;

namespace {

// How reads and writes wait on a descriptor.
struct Waiting {
    bool poll = false;         // wait with poll() before each read or write
    bool nonBlocking = false;  // the descriptor never blocks (else writes go in small pieces)
    const CancelSignal* cancel = nullptr;
};

std::size_t ReadFully(int fd, std::span<std::uint8_t> buffer, const std::string& name,
                      const Waiting& waiting) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        if (waiting.poll) {
            WaitReady(fd, POLLIN, waiting.cancel);
        }
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            throw FileError(name, "cannot read", Reason(errno));
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// Adds what is written to `written`, which so counts even the part of a
// failed or cancelled write that reached the file.
void WriteFully(int fd, std::span<const std::uint8_t> data, const std::string& name,
                const Waiting& waiting, std::uint64_t& written) {
    while (!data.empty()) {
        std::size_t most = data.size();
        if (waiting.poll) {
            WaitReady(fd, POLLOUT, waiting.cancel);
            // Ready for writing means room for PIPE_BUF bytes: a blocking
            // descriptor takes no more at a time, so no write waits.
            if (!waiting.nonBlocking) {
                most = std::min<std::size_t>(most, PIPE_BUF);
            }
        }
        const ssize_t n = ::write(fd, data.data(), most);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            throw FileError(name, "cannot write", Reason(errno));
        }
        data = data.subspan(static_cast<std::size_t>(n));
        written += static_cast<std::uint64_t>(n);
    }
}

// Regular files and disks never keep a run waiting for long; everything else
// (pipes, terminals, sockets, character devices) may.
bool MayStall(const struct stat& st) {
    return !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode);
}

// Whether something is at `path`, links followed, into `st`. Only "no such
// file" (or a file where a folder should be) means absent: any other failure
// to look is an error, never taken for absence.
bool LookUp(const fs::path& path, const std::string& name, bool followLinks, struct stat& st) {
    if (Retrying([&] {
            return followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
        }) == 0) {
        return true;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
        return false;
    }
    throw FileError(name, "cannot tell whether it exists", Reason(errno));
}

}  // namespace

struct InputFile::System {
    int fd = -1;
    Waiting waiting;
};

void InputFile::Close::operator()(System* system) const noexcept {
    if (system->fd >= 0) {
        ::close(system->fd);
    }
    delete system;
}

void InputFile::Open(const fs::path& path, const CancelSignal* cancel) {
    system_.reset(new System);
    // Non-blocking, or opening a named pipe would wait for a writer where no
    // cancellation can reach; the first read's poll() waits for it instead.
    const int fd = system_->fd =
        Retrying([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        throw FileError(name_, "cannot open for reading", Reason(errno));
    }
    struct stat st {};
    if (Retrying([&] { return ::fstat(fd, &st); }) != 0) {
        throw FileError(name_, "cannot read", Reason(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        throw FileError(name_, "is a folder, not a file");
    }
    // A named pipe stays non-blocking (no other process shares this
    // descriptor); devices such as a terminal read as usual.
    system_->waiting = {MayStall(st), S_ISFIFO(st.st_mode), cancel};
    if (!S_ISFIFO(st.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            throw FileError(name_, "cannot read", Reason(errno));
        }
    }
    if (S_ISREG(st.st_mode)) {
        permissions_ = static_cast<std::uint32_t>(st.st_mode & 0666);
        // Files of /proc and /sys, and some of FUSE, list 0 bytes and hold
        // more: a size of 0 tells nothing.
        if (st.st_size > 0) {
            size_ = static_cast<std::uint64_t>(st.st_size);
        }
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

std::size_t InputFile::ReadSome(std::span<std::uint8_t> buffer) {
    return ReadFully(system_->fd, buffer, name_, system_->waiting);
}

struct OutputFile::System {
    int fd = -1;
    Waiting waiting;
    bool pacing = false;            // whether the file system takes writeback requests
    std::uint64_t writebackAt = 0;  // writeback has been started below this offset

    void PaceWriteback(std::uint64_t written, const std::string& name);
};

void OutputFile::Close::operator()(System* system) const noexcept {
    if (system->fd >= 0) {
        ::close(system->fd);
    }
    delete system;
}

// A named pipe opened non-blocking refuses to open until a reader has it open,
// and the system cannot be asked to wake us then: the open is tried again
// every few milliseconds, between which a cancellation ends the wait.
void OutputFile::OpenDirectly(const fs::path& path, const CancelSignal* cancel) {
    constexpr int kRetryMs = 10;
    system_.reset(new System);
    system_->waiting.cancel = cancel;
    struct stat st {};
    const bool namedPipe = ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    const int flags = O_WRONLY | O_CLOEXEC | (namedPipe ? O_NONBLOCK : 0);
    int& fd = system_->fd;
    while ((fd = ::open(path.c_str(), flags)) < 0) {
        if (errno == ENXIO && namedPipe) {
            WaitReady(-1, 0, cancel, kRetryMs);
        } else if (errno != EINTR) {
            throw FileError(name_, "cannot open for writing", Reason(errno));
        }
    }
    system_->waiting.poll = system_->waiting.nonBlocking = namedPipe;
}

// The kernel takes the umask off `permissions` (mkstemp would make the file
// 0600 and need a chmod that can fail on its own).
OutputFile::Creation OutputFile::CreateExclusive(const fs::path& temporary,
                                                 std::uint32_t permissions, bool replacing) {
    const int fd = Retrying([&] {
        return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      static_cast<mode_t>(permissions & 0666));
    });
    if (fd < 0) {
        return {errno == EEXIST, errno == EEXIST ? std::string() : Reason(errno)};
    }
    system_.reset(new System{fd, {}, true, 0});
    struct stat st {};
    if (replacing && ::stat(target_.c_str(), &st) == 0) {
        // Best effort: only root may hand a file to another owner.
        [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
    }
    return {};
}

void OutputFile::Write(std::span<const std::uint8_t> data) {
    WriteFully(system_->fd, data, name_, system_->waiting, written_);
    system_->PaceWriteback(written_, name_);
}

// Asks the system to write each window of the file back as soon as it is
// complete, and waits for the window before it. Otherwise a large output
// piles up in memory and goes to the disk only in the final fsync: the disk
// idles while the digits are made, then the run sits at 100 % for seconds.
// Waiting keeps at most two windows unwritten, so the run goes at the disk's
// pace and a cancellation is seen without a long flush.
void OutputFile::System::PaceWriteback(std::uint64_t written, const std::string& name) {
    constexpr std::uint64_t kWindow = 8 << 20;
    while (pacing && written - writebackAt >= kWindow) {
        int failed = ::sync_file_range(fd, static_cast<off64_t>(writebackAt), kWindow,
                                       SYNC_FILE_RANGE_WRITE);
        if (failed == 0 && writebackAt >= kWindow) {
            failed = ::sync_file_range(
                fd, static_cast<off64_t>(writebackAt - kWindow), kWindow,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        }
        if (failed != 0) {
            if (errno == EINVAL || errno == ESPIPE || errno == ENOSYS || errno == EOPNOTSUPP) {
                pacing = false;  // a file system without it: the final fsync does it all
                return;
            }
            // The wait has taken the error from the file: fsync would not report it again.
            throw FileError(name, "cannot write", Reason(errno));
        }
        writebackAt += kWindow;
    }
}

OwnedFile OutputFile::TakeFile() noexcept {
    return posix::Own(std::exchange(system_->fd, -1));
}

struct StandardInput::System {
    Waiting waiting;
};

StandardInput::StandardInput(const CancelSignal* cancel) : system_(std::make_unique<System>()) {
    struct stat st {};
    system_->waiting = {::fstat(STDIN_FILENO, &st) != 0 || MayStall(st), false, cancel};
}

StandardInput::~StandardInput() = default;

std::size_t StandardInput::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(STDIN_FILENO, buffer, name_, system_->waiting);
}

// A pipe is written through a descriptor of its own that never blocks: making
// the shared one non-blocking would surprise every other process using it.
struct StandardOutput::System {
    int fd = STDOUT_FILENO;
    int own = -1;  // the pipe reopened non-blocking, when that worked
    Waiting waiting;
    ~System() {
        if (own >= 0) {
            ::close(own);
        }
    }
};

StandardOutput::StandardOutput(const CancelSignal* cancel) : system_(std::make_unique<System>()) {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        return;  // files and devices: written straight
    }
    system_->waiting = {true, false, cancel};
    // Opening the pipe anew gives a descriptor with flags of its own (a socket
    // cannot be opened this way and keeps the shared one).
    system_->own = ::open("/proc/self/fd/1", O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (system_->own >= 0) {
        system_->fd = system_->own;
        system_->waiting.nonBlocking = true;
    }
}

StandardOutput::~StandardOutput() = default;

void StandardOutput::Write(std::span<const std::uint8_t> data) {
    WriteFully(system_->fd, data, name_, system_->waiting, written_);
}

std::unique_ptr<ByteSource> ReopenStandardInput(const CancelSignal* cancel) {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    // Opens the file anew: its own offset, from the start.
    return std::make_unique<InputFile>("/dev/stdin", cancel, "standard input");
}

namespace file_system {

std::optional<fs::path> LinkTarget(const fs::path& path) {
    struct stat st {};
    const std::string name = Utf8Of(path);
    if (!LookUp(path, name, false, st) || !S_ISLNK(st.st_mode)) {
        return std::nullopt;
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    for (;;) {
        const ssize_t n =
            Retrying([&] { return ::readlink(path.c_str(), target.data(), target.size()); });
        if (n < 0) {
            throw FileError(name, "cannot follow the link", Reason(errno));
        }
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return fs::path(target);
        }
        target.resize(target.size() * 2);  // the link changed since it was looked at
    }
}

std::string NameTakenReason() {
    return Reason(EEXIST);
}

}  // namespace file_system

FileKind KindOf(const fs::path& path) {
    const std::string name = Utf8Of(path);
    struct stat st {};
    if (!LookUp(path, name, false, st)) {
        return FileKind::Absent;
    }
    if (!LookUp(path, name, true, st)) {
        return FileKind::Regular;  // a dangling link
    }
    if (S_ISREG(st.st_mode)) {
        return FileKind::Regular;
    }
    if (S_ISDIR(st.st_mode)) {
        return FileKind::Folder;
    }
    if (S_ISCHR(st.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const bool terminal = fd >= 0 && ::isatty(fd) == 1;
        if (fd >= 0) {
            ::close(fd);
        }
        return terminal ? FileKind::Terminal : FileKind::Other;
    }
    return FileKind::Other;
}

std::optional<FileId> IdentifyFile(const fs::path& path) {
    struct stat st {};
    if (Retrying([&] { return ::stat(path.c_str(), &st); }) != 0) {
        return std::nullopt;
    }
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<NameEntry> LookAtName(const fs::path& path) {
    struct stat st {};
    if (Retrying([&] { return ::lstat(path.c_str(), &st); }) != 0) {
        return std::nullopt;
    }
    return NameEntry{
        S_ISLNK(st.st_mode),
        {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
}

std::size_t file_system::LongestName(const fs::path& folder) {
    constexpr long kUsual = 255;
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return static_cast<std::size_t>(longest > 0 ? longest : kUsual);
}

}  // namespace vlt
