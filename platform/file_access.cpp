// What every system's file access shares: the checks, the messages, the
// tries at a temporary name, the size check and the link walk. The calls that differ (open, create
// exclusively, read, write, remove, the kind of a file, a link's target) are
// in platform/<system>/file_access.cpp.

#include "platform/file_access.h"

#include <mutex>
#include <utility>

#include "platform/file_system.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Tries at a free temporary name before the folder is taken to refuse new files.
constexpr int kMostNameTries = 100;
// The system's own limit on links in a row (ELOOP).
constexpr int kMostLinks = 40;

}  // namespace

FileError::FileError(const std::string& path, const std::string& action, const std::string& reason)
    : std::runtime_error(path + ": " + action + ": " + reason), problem_(action), reason_(reason) {}

FileError::FileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path.empty() ? problem : path + ": " + problem), problem_(problem) {}

FileError FileError::Exists(const std::string& path) {
    FileError error(path, "already exists");
    error.exists_ = true;
    return error;
}

void FileError::AddNote(const std::string& note) {
    std::runtime_error::operator=(std::runtime_error(std::string(what()) + "; " + note));
}

InputFile::InputFile(const fs::path& path, const CancelSignal* cancel, std::string name)
    : name_(name.empty() ? Utf8Of(path) : std::move(name)) {
    if (path.empty()) {
        throw FileError(name_, "no input file name given");
    }
    Open(path, cancel);
}

InputFile::~InputFile() = default;

std::size_t InputFile::Read(std::span<std::uint8_t> buffer) {
    const std::size_t got = ReadSome(buffer);
    file_system::CountRead(read_, got, buffer.size(), size_, name_);
    return got;
}

OutputFile::OutputFile(const fs::path& path, const OutputSettings& settings)
    : name_(Utf8Of(path)), mayReplace_(settings.mayReplace) {
    if (name_.empty()) {
        throw FileError(name_, "no output file name given");
    }
    const FileKind kind = KindOf(path);
    if (kind == FileKind::Folder) {
        throw FileError(name_, "is a folder; give a file name for the output");
    }
    if (kind == FileKind::Terminal || kind == FileKind::Other) {
        // A device or a pipe cannot be replaced; it gets the bytes as they come.
        OpenDirectly(path, settings.cancel);
        return;
    }
    replacing_ = kind == FileKind::Regular;
    target_ = replacing_ ? FollowLinks(path) : path;
    Creation creation;
    for (int attempt = 0; attempt < kMostNameTries; ++attempt) {
        temporary_ = TemporaryBeside(target_);
        creation = CreateExclusive(temporary_, settings.permissions, replacing_);
        if (!creation.taken) {
            break;
        }
    }
    if (creation.taken || !creation.failure.empty()) {
        temporary_.clear();
        throw FileError(name_,
                        "cannot create the output in folder '" + Utf8Of(FolderOf(target_)) + "'",
                        creation.taken ? file_system::NameTakenReason() : creation.failure);
    }
}

OutputFile::~OutputFile() {
    Discard();  // nothing left to discard once handed over
}

PendingOutput OutputFile::TakeWritten() {
    PendingOutput written{name_, target_, {}, {}, written_, mayReplace_};  // may throw
    written.temporary = std::exchange(temporary_, {});
    written.file = TakeFile();
    return written;
}

std::string OutputFile::Discard() noexcept {
    system_.reset();
    return temporary_.empty() ? std::string() : RemoveTemporary(std::exchange(temporary_, {}));
}

void file_system::CountRead(std::uint64_t& read, std::size_t got, std::size_t asked,
                            const std::optional<std::uint64_t>& size, const std::string& name) {
    read += got;
    if (size && (read > *size || (got < asked && read != *size))) {
        throw FileError(name, "changed while it was read");
    }
}

fs::path FollowLinks(const fs::path& path) {
    fs::path followed = path;
    for (int hops = 0; hops < kMostLinks; ++hops) {
        std::optional<fs::path> next = file_system::LinkTarget(followed);
        if (!next) {
            break;
        }
        followed = next->is_absolute() ? *std::move(next) : FolderOf(followed) / *next;
    }
    return followed;
}

// Asked once per folder in a row: every output of a batch usually goes to one.
std::size_t LongestFileName(const fs::path& folder) {
    static std::mutex mutex;
    static fs::path lastFolder;
    static std::size_t lastAnswer = 0;
    const std::lock_guard lock(mutex);
    if (lastAnswer == 0 || folder != lastFolder) {
        lastAnswer = file_system::LongestName(folder);
        lastFolder = folder;
    }
    return lastAnswer;
}

}  // namespace vlt
