#include "platform/file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/output_batch.h"

namespace vlt {

namespace fs = std::filesystem;

FileError::FileError(const std::string& path, const std::string& action, int errnum)
    : std::runtime_error(path + ": " + action + ": " + std::strerror(errnum)) {}

FileError::FileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path + ": " + problem) {}

FileError FileError::Exists(const std::string& path) {
    FileError error(path, "already exists");
    error.exists_ = true;
    return error;
}

void FileError::AddNote(const std::string& note) {
    std::runtime_error::operator=(std::runtime_error(std::string(what()) + "; " + note));
}

std::string RemoveTemporary(const fs::path& temporary) noexcept {
    if (::unlink(temporary.c_str()) == 0 || errno == ENOENT) {
        return {};
    }
    return "could not remove the temporary file '" + temporary.string() +
           "': " + std::strerror(errno);
}

namespace {

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
            throw FileError(name, "cannot read", errno);
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
            throw FileError(name, "cannot write", errno);
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
    throw FileError(name, "cannot tell whether it exists", errno);
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
            throw FileError(name, "cannot follow the link '" + path.string() + "'", error.value());
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

InputFile::InputFile(const fs::path& path, const CancelSignal* cancel) : name_(path.string()) {
    if (name_.empty()) {
        throw FileError(name_, "no input file name given");
    }
    // Non-blocking, or opening a named pipe would wait for a writer where no
    // cancellation can reach; the first read's poll() waits for it instead.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        throw FileError(name_, "cannot open for reading", errno);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        throw FileError(name_, "cannot read", error);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        throw FileError(name_, "is a folder, not a file");
    }
    // A named pipe stays non-blocking (no other process shares this
    // descriptor); devices such as a terminal read as usual.
    waiting_ = {MayStall(st), S_ISFIFO(st.st_mode), cancel};
    if (!S_ISFIFO(st.st_mode)) {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            const int error = errno;
            ::close(fd_);
            throw FileError(name_, "cannot read", error);
        }
    }
    if (S_ISREG(st.st_mode)) {
        permissions_ = static_cast<std::uint32_t>(st.st_mode & 0666);
        // Files of /proc and /sys, and some of FUSE, list 0 bytes and hold
        // more: a size of 0 tells nothing.
        if (st.st_size > 0) {
            size_ = static_cast<std::uint64_t>(st.st_size);
        }
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

InputFile::~InputFile() {
    ::close(fd_);
}

std::size_t InputFile::Read(std::span<std::uint8_t> buffer) {
    const std::size_t got = ReadFully(fd_, buffer, name_, waiting_);
    read_ += got;
    // A short read is the end of the file: it must be where the size said.
    if (size_ && (read_ > *size_ || (got < buffer.size() && read_ != *size_))) {
        throw FileError(name_, "changed while it was read");
    }
    return got;
}

OutputFile::OutputFile(const fs::path& path, const OutputSettings& settings)
    : name_(path.string()), batch_(settings.batch), replace_(settings.replace) {
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
        waiting_.cancel = settings.cancel;
        OpenDirectly(path, S_ISFIFO(st.st_mode));
        return;
    }

    target_ = ResolveLinks(path, name_);
    // Keep the temporary name within the file system's 255-byte limit.
    const std::string base = target_.filename().string().substr(0, 200);
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    fd_ = CreateTemporary(folder, base, settings.permissions, temporary_);
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        throw FileError(name_, "cannot create the output in folder '" + folder.string() + "'",
                        error);
    }
    pacing_ = true;
    if (exists) {
        // Best effort: only root may hand a file to another owner.
        [[maybe_unused]] const int ignored = ::fchown(fd_, st.st_uid, st.st_gid);
    }
}

// A named pipe opened non-blocking refuses to open until a reader has it open,
// and the system cannot be asked to wake us then: the open is tried again
// every few milliseconds, between which a cancellation ends the wait.
void OutputFile::OpenDirectly(const fs::path& path, bool namedPipe) {
    constexpr int kRetryMs = 10;
    const int flags = O_WRONLY | O_CLOEXEC | (namedPipe ? O_NONBLOCK : 0);
    while ((fd_ = ::open(path.c_str(), flags)) < 0) {
        if (errno == ENXIO && namedPipe) {
            WaitReady(-1, 0, waiting_.cancel, kRetryMs);
        } else if (errno != EINTR) {
            throw FileError(name_, "cannot open for writing", errno);
        }
    }
    waiting_.poll = waiting_.nonBlocking = namedPipe;
}

OutputFile::~OutputFile() {
    Discard();  // nothing left to discard once committed
}

void OutputFile::Write(std::span<const std::uint8_t> data) {
    WriteFully(fd_, data, name_, waiting_, written_);
    PaceWriteback();
}

// Asks the system to write each window of the file back as soon as it is
// complete, and waits for the window before it. Otherwise a large output
// piles up in memory and goes to the disk only in Commit's fsync: the disk
// idles while the digits are made, then the run sits at 100 % for seconds.
// Waiting keeps at most two windows unwritten, so the run goes at the disk's
// pace and a cancellation is seen without a long flush.
void OutputFile::PaceWriteback() {
    constexpr std::uint64_t kWindow = 8 << 20;
    while (pacing_ && written_ - writebackAt_ >= kWindow) {
        int failed = ::sync_file_range(fd_, static_cast<off64_t>(writebackAt_), kWindow,
                                       SYNC_FILE_RANGE_WRITE);
        if (failed == 0 && writebackAt_ >= kWindow) {
            failed = ::sync_file_range(
                fd_, static_cast<off64_t>(writebackAt_ - kWindow), kWindow,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        }
        if (failed != 0) {
            if (errno == EINVAL || errno == ESPIPE || errno == ENOSYS || errno == EOPNOTSUPP) {
                pacing_ = false;  // a file system without it: Commit's fsync does it all
                return;
            }
            // The wait has taken the error from the file: fsync would not report it again.
            throw FileError(name_, "cannot write", errno);
        }
        writebackAt_ += kWindow;
    }
}

void OutputFile::Commit() {
    PendingOutput written{name_,    target_, std::exchange(temporary_, {}), std::exchange(fd_, -1),
                          written_, replace_};
    if (batch_ != nullptr) {
        batch_->Add(std::move(written));
        return;
    }
    OutputBatch alone;
    alone.Add(std::move(written));
    if (auto failure = alone.Complete().front()) {
        throw *std::move(failure);
    }
}

std::string OutputFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return temporary_.empty() ? std::string() : RemoveTemporary(std::exchange(temporary_, {}));
}

DescriptorSource::DescriptorSource(int fd, std::string name, const CancelSignal* cancel)
    : fd_(fd), name_(std::move(name)) {
    struct stat st {};
    waiting_ = {::fstat(fd_, &st) != 0 || MayStall(st), false, cancel};
}

std::size_t DescriptorSource::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(fd_, buffer, name_, waiting_);
}

DescriptorSink::DescriptorSink(int fd, std::string name, const CancelSignal* cancel)
    : fd_(fd), name_(std::move(name)) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
        return;  // files and devices: written straight
    }
    waiting_ = {true, false, cancel};
    // Opening the pipe anew gives a descriptor with flags of its own (a socket
    // cannot be opened this way and keeps the shared one).
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    own_ = ::open(self.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (own_ >= 0) {
        fd_ = own_;
        waiting_.nonBlocking = true;
    }
}

DescriptorSink::~DescriptorSink() {
    if (own_ >= 0) {
        ::close(own_);
    }
}

void DescriptorSink::Write(std::span<const std::uint8_t> data) {
    WriteFully(fd_, data, name_, waiting_, written_);
}

}  // namespace vlt
