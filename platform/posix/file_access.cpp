#include "platform/file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/output_batch.h"
#include "platform/posix/open_file.h"
#include "platform/posix/wait_ready.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;
using posix::Reason;
using posix::WaitReady;

std::string RemoveTemporary(const fs::path& temporary) noexcept {
    if (::unlink(temporary.c_str()) == 0 || errno == ENOENT) {
        return {};
    }
    return "could not remove the temporary file '" + Utf8Of(temporary) + "': " + Reason(errno);
}

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
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0) {
        return true;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
        return false;
    }
    throw FileError(name, "cannot tell whether it exists", Reason(errno));
}

// Where the content of `path` really goes: symbolic links are followed, even
// dangling ones, so that the link itself stays a link.
fs::path ResolveLinks(fs::path path, const std::string& name) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (!LookUp(path, name, false, st) || !S_ISLNK(st.st_mode)) {
            return path;
        }
        std::error_code error;
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            throw FileError(name, "cannot follow the link '" + Utf8Of(path) + "'", error.message());
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Creates a new temporary file ".<base>.vlt-partial-XXXXXX" in `folder` with
// `permissions`, which the system reduces by the umask (mkstemp would make it
// 0600 and need a chmod that can fail on its own).
int CreateTemporary(const fs::path& folder, const std::string& base, std::uint32_t permissions,
                    fs::path& created) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    const std::string prefix = "." + base + OutputFile::kTemporaryMarker;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) {
            name += kLetters[random() % (sizeof kLetters - 1)];
        }
        created = folder / name;
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              static_cast<mode_t>(permissions & 0666));
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

struct InputFile::System {
    int fd = -1;
    Waiting waiting;
    ~System() { ::close(fd); }
};

InputFile::InputFile(const fs::path& path, const CancelSignal* cancel, std::string name)
    : name_(name.empty() ? Utf8Of(path) : std::move(name)), system_(std::make_unique<System>()) {
    if (path.empty()) {
        throw FileError(name_, "no input file name given");
    }
    // Non-blocking, or opening a named pipe would wait for a writer where no
    // cancellation can reach; the first read's poll() waits for it instead.
    const int fd = system_->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw FileError(name_, "cannot open for reading", Reason(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
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

InputFile::~InputFile() = default;

std::size_t InputFile::Read(std::span<std::uint8_t> buffer) {
    const std::size_t got = ReadFully(system_->fd, buffer, name_, system_->waiting);
    read_ += got;
    // A short read is the end of the file: it must be where the size said.
    if (size_ && (read_ > *size_ || (got < buffer.size() && read_ != *size_))) {
        throw FileError(name_, "changed while it was read");
    }
    return got;
}

struct OutputFile::System {
    int fd = -1;
    Waiting waiting;
    bool pacing = false;            // whether the file system takes writeback requests
    std::uint64_t writebackAt = 0;  // writeback has been started below this offset

    ~System() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    void OpenDirectly(const fs::path& path, const std::string& name, bool namedPipe);
    void PaceWriteback(std::uint64_t written, const std::string& name);
};

OutputFile::OutputFile(const fs::path& path, const OutputSettings& settings)
    : name_(Utf8Of(path)),
      system_(std::make_unique<System>()),
      batch_(settings.batch),
      replace_(settings.replace) {
    if (name_.empty()) {
        throw FileError(name_, "no output file name given");
    }
    // What the name leads to, every link followed by the system: also the
    // links of /dev/fd and /proc that lead to pipes, which have no name to resolve.
    struct stat st {};
    const bool exists = LookUp(path, name_, true, st);
    if (exists && S_ISDIR(st.st_mode)) {
        throw FileError(name_, "is a folder; give a file name for the output");
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe cannot be replaced; it gets the bytes as they come.
        system_->waiting.cancel = settings.cancel;
        system_->OpenDirectly(path, name_, S_ISFIFO(st.st_mode));
        return;
    }

    target_ = ResolveLinks(path, name_);
    // Keep the temporary name within the file system's 255-byte limit.
    const std::string base = target_.filename().string().substr(0, 200);
    const fs::path folder = FolderOf(target_);
    system_->fd = CreateTemporary(folder, base, settings.permissions, temporary_);
    if (system_->fd < 0) {
        const int error = errno;
        temporary_.clear();
        throw FileError(name_, "cannot create the output in folder '" + Utf8Of(folder) + "'",
                        Reason(error));
    }
    system_->pacing = true;
    if (exists) {
        // Best effort: only root may hand a file to another owner.
        [[maybe_unused]] const int ignored = ::fchown(system_->fd, st.st_uid, st.st_gid);
    }
}

// A named pipe opened non-blocking refuses to open until a reader has it open,
// and the system cannot be asked to wake us then: the open is tried again
// every few milliseconds, between which a cancellation ends the wait.
void OutputFile::System::OpenDirectly(const fs::path& path, const std::string& name,
                                      bool namedPipe) {
    constexpr int kRetryMs = 10;
    const int flags = O_WRONLY | O_CLOEXEC | (namedPipe ? O_NONBLOCK : 0);
    while ((fd = ::open(path.c_str(), flags)) < 0) {
        if (errno == ENXIO && namedPipe) {
            WaitReady(-1, 0, waiting.cancel, kRetryMs);
        } else if (errno != EINTR) {
            throw FileError(name, "cannot open for writing", Reason(errno));
        }
    }
    waiting.poll = waiting.nonBlocking = namedPipe;
}

OutputFile::~OutputFile() {
    Discard();  // nothing left to discard once committed
}

void OutputFile::Write(std::span<const std::uint8_t> data) {
    WriteFully(system_->fd, data, name_, system_->waiting, written_);
    system_->PaceWriteback(written_, name_);
}

// Asks the system to write each window of the file back as soon as it is
// complete, and waits for the window before it. Otherwise a large output
// piles up in memory and goes to the disk only in Commit's fsync: the disk
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
                pacing = false;  // a file system without it: Commit's fsync does it all
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

std::string OutputFile::Discard() noexcept {
    if (system_->fd >= 0) {
        ::close(std::exchange(system_->fd, -1));
    }
    return temporary_.empty() ? std::string() : RemoveTemporary(std::exchange(temporary_, {}));
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
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::size_t LongestFileName(const fs::path& folder) {
    constexpr long kUsual = 255;
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return static_cast<std::size_t>(longest > 0 ? longest : kUsual);
}

}  // namespace vlt
