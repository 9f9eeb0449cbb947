#include "platform/output_batch.h"

#include <algorithm>
#include <map>
#include <system_error>
#include <utility>

#include "platform/output_system.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// A batch holds at most this many outputs, or this many bytes written and not yet on disk.
constexpr std::size_t kMostOutputs = 256;
constexpr std::uint64_t kMostBytes = 64 << 20;

// Where the content of `path` goes, as one name for every way of naming it
// ("a", "./a", "dir/../a", a link to it): links are followed, dangling ones
// too, since an output waiting in the batch may not exist yet.
fs::path SameFileKey(fs::path path) {
    constexpr int kMostLinks = 40;  // the system's own limit
    std::error_code error;
    for (int hops = 0; hops < kMostLinks && fs::is_symlink(path, error); ++hops) {
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute : canonical;
}

}  // namespace

OutputBatch::~OutputBatch() {
    for (PendingOutput& output : pending_) {
        output.file.reset();
        if (!output.temporary.empty()) {
            RemoveTemporary(output.temporary);  // only when a run was abandoned by an exception
        }
    }
}

bool OutputBatch::Full() const {
    return pending_.size() >= std::min(kMostOutputs, output_system::MostOpenOutputs()) ||
           bytes_ >= kMostBytes;
}

void OutputBatch::Add(PendingOutput output) {
    bytes_ += output.bytes;
    // Devices and pipes are written directly: nothing of theirs is replaced.
    known_.push_back(output.temporary.empty()
                         ? Known{}
                         : Known{SameFileKey(output.target), IdentifyFile(output.target)});
    pending_.push_back(std::move(output));
}

bool OutputBatch::Holds(const fs::path& path) const {
    if (pending_.empty()) {
        return false;
    }
    const fs::path name = SameFileKey(path);
    const std::optional<FileId> id = IdentifyFile(path);
    return std::any_of(known_.begin(), known_.end(), [&](const Known& output) {
        return (!output.name.empty() && output.name == name) || (id && output.id == id);
    });
}

std::vector<std::optional<FileError>> OutputBatch::Complete() {
    const std::size_t n = pending_.size();
    std::vector<std::string> errors = output_system::FlushAll(pending_);

    std::vector<std::optional<FileError>> failures(n);
    std::map<fs::path, std::vector<std::size_t>> folders;  // and the outputs put in place there
    for (std::size_t i = 0; i < n; ++i) {
        PendingOutput& output = pending_[i];
        if (std::string closing = output_system::Close(output); errors[i].empty()) {
            errors[i] = std::move(closing);
        }
        if (!errors[i].empty()) {
            failures[i].emplace(output.name, "cannot write", errors[i]);
        } else if (!output.temporary.empty()) {
            const output_system::Placing placing = output_system::PutInPlace(output);
            if (placing.placed == output_system::Placed::Exists) {
                failures[i] = FileError::Exists(output.name);
            } else if (placing.placed == output_system::Placed::Failed) {
                failures[i].emplace(output.name, "cannot put the output in place", placing.reason);
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
        if (const std::string error = output_system::FlushFolder(folder); !error.empty()) {
            for (const std::size_t i : placed) {
                failures[i].emplace(pending_[i].name,
                                    "is in place, but its folder '" + Utf8Of(folder) +
                                        "' could not be flushed to disk",
                                    error);
            }
        }
    }
    pending_.clear();
    known_.clear();
    bytes_ = 0;
    return failures;
}

}  // namespace vlt
