#include "platform/file_access.h"

#include <utility>

#include "platform/output_batch.h"

namespace vlt {

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

void OutputFile::Commit() {
    PendingOutput written{name_,      target_,  std::exchange(temporary_, {}),
                          TakeFile(), written_, replace_};
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

std::filesystem::path FolderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

}  // namespace vlt
