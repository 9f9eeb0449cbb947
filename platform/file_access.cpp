#include "platform/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace vlt {

namespace fs = std::filesystem;

FileError::FileError(const std::string& path, const std::string& action, int errnum)
    : std::runtime_error(path + ": " + action + ": " + std::strerror(errnum)) {}

FileError::FileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path + ": " + problem) {}

namespace {

std::size_t ReadFully(int fd, std::span<std::uint8_t> buffer, const std::string& name) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError(name, "cannot read", errno);
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void WriteFully(int fd, std::span<const std::uint8_t> data, const std::string& name) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError(name, "cannot write", errno);
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
}

// The process's umask without changing it (umask() would race with other threads).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
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

InputFile::InputFile(const fs::path& path) : name_(path.string()) {
    if (name_.empty()) {
        throw FileError(name_, "no input file name given");
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
    if (S_ISREG(st.st_mode)) {
        size_ = static_cast<std::uint64_t>(st.st_size);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

InputFile::~InputFile() {
    ::close(fd_);
}

std::size_t InputFile::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(fd_, buffer, name_);
}

OutputFile::OutputFile(const fs::path& path) : name_(path.string()) {
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
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            throw FileError(name_, "cannot open for writing", errno);
        }
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

OutputFile::~OutputFile() {
    if (!committed_) {
        Discard();
    }
}

void OutputFile::Write(std::span<const std::uint8_t> data) {
    WriteFully(fd_, data, name_);
    written_ += data.size();
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
    // Devices such as /dev/null cannot be synced; that is no failure.
    const bool direct = temporary_.empty();
    if (::fsync(fd_) != 0 && !(direct && (errno == EINVAL || errno == EROFS))) {
        throw FileError(name_, "cannot write", errno);
    }
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        throw FileError(name_, "cannot write", errno);
    }
    if (!direct) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
            throw FileError(name_, "cannot replace", errno);
        }
        temporary_.clear();
        const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
        if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
            ::fsync(dir);  // makes the rename itself durable
            ::close(dir);
        }
    }
    committed_ = true;
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

std::size_t DescriptorSource::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(fd_, buffer, name_);
}

void DescriptorSink::Write(std::span<const std::uint8_t> data) {
    WriteFully(fd_, data, name_);
}

}  // namespace vlt
