#include "platform/file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// The process's umask without changing it (umask() would race with other
// threads). Read once: nothing here changes it.
mode_t ReadUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

mode_t CurrentUmask() {
    static const mode_t umask = ReadUmask();
    return umask;
}

// Where the content of `path` really goes: symbolic links are followed, even
// dangling ones, so that the link itself stays a link.
fs::path ResolveLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            return path;
        }
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            return path;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
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
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    }
    if (S_ISREG(st.st_mode)) {
        size_ = static_cast<std::uint64_t>(st.st_size);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

InputFile::~InputFile() {
    ::close(fd_);
}

std::size_t InputFile::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(fd_, buffer, name_, waiting_);
}

OutputFile::OutputFile(const fs::path& path, const CancelSignal* cancel, OutputBatch* batch)
    : name_(path.string()), batch_(batch) {
    if (name_.empty()) {
        throw FileError(name_, "no output file name given");
    }
    target_ = ResolveLinks(path);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        throw FileError(name_, "is a folder; give a file name for the output");
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe cannot be replaced; it gets the bytes as they come.
        waiting_.cancel = cancel;
        OpenDirectly(target_, S_ISFIFO(st.st_mode));
        return;
    }

    // Keep the temporary name within the file system's 255-byte limit.
    const std::string base = target_.filename().string().substr(0, 200);
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + base + kTemporaryMarker + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        throw FileError(name_, "cannot create the output in folder '" + folder.string() + "'",
                        error);
    }
    temporary_ = buffer.data();
    pacing_ = true;
    if (exists) {
        ::fchmod(fd_, st.st_mode & 07777);
        // Best effort: only root may hand a file to another owner.
        [[maybe_unused]] const int ignored = ::fchown(fd_, st.st_uid, st.st_gid);
    } else {
        ::fchmod(fd_, 0666 & ~CurrentUmask());
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
    PendingOutput written{name_, target_, std::exchange(temporary_, {}), std::exchange(fd_, -1),
                          written_};
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

void OutputFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
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
