#include "platform/output_batch.h"

#include <algorithm>
#include <map>
#include <new>
#include <utility>

#include "platform/error_text.h"
#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// A batch holds at most this many outputs, or this many bytes written and not yet on disk.
constexpr std::size_t kMostOutputs = 256;
constexpr std::uint64_t kMostBytes = 64 << 20;

// Flushes the outputs and puts each in place, in the order given; the failure
// of each into `failures`, one per output. Memory that runs out on the way
// fails every output not yet in place; each output's temporary file is gone
// or named in its failure. An output in place whose temporary name could not
// be removed fails with that note, or, given `leftover` (one output alone),
// gets the note there. Given `refused` (one output alone), an output refused
// its place for a file at its name goes there instead of being removed.
// Outputs come open, or all closed and flushed (a RefusedOutput's).
void PlaceAll(std::vector<PendingOutput>& pending, std::vector<std::optional<FileError>>& failures,
              std::string* leftover = nullptr,
              std::optional<RefusedOutput>* refused = nullptr) noexcept {
    const std::size_t n = pending.size();
    std::size_t next = 0;  // the first output not yet dealt with
    try {
        std::vector<std::string> errors = n > 0 && pending.front().file
                                              ? output_system::FlushAll(pending)
                                              : std::vector<std::string>(n);
        std::map<fs::path, std::vector<std::size_t>> folders;  // and the outputs placed there
        for (; next < n; ++next) {
            PendingOutput& output = pending[next];
            std::optional<FileError>& failure = failures[next];
            if (std::string closing =
                    output.file ? output_system::CloseFile(output.file.release()) : std::string();
                errors[next].empty()) {
                errors[next] = std::move(closing);
            }
            if (!errors[next].empty()) {
                failure.emplace(output.name, "cannot write", errors[next]);
            } else if (!output.temporary.empty()) {
                const output_system::Placing placing = output_system::PutInPlace(output);
                if (placing.placed == output_system::Placed::Exists) {
                    failure = FileError::Exists(output.name);
                    if (refused != nullptr) {
                        refused->emplace(std::move(output));
                        output.temporary.clear();
                    }
                } else if (placing.placed == output_system::Placed::Failed) {
                    failure.emplace(output.name, "cannot put the output in place", placing.reason);
                } else {
                    output.temporary.clear();
                    folders[FolderOf(output.target)].push_back(next);
                    if (!placing.reason.empty() && leftover != nullptr) {
                        *leftover = placing.reason;
                    } else if (!placing.reason.empty()) {
                        failure.emplace(output.name, "is in place, but " + placing.reason);
                    }
                }
            }
            if (failure && !output.temporary.empty()) {
                if (const std::string note = RemoveTemporary(output.temporary); !note.empty()) {
                    failure->AddNote(note);
                }
                output.temporary.clear();
            }
        }
        for (const auto& [folder, placed] : folders) {
            if (const std::string error = output_system::FlushFolder(folder); !error.empty()) {
                for (const std::size_t i : placed) {
                    failures[i].emplace(pending[i].name,
                                        "is in place, but its folder '" + Utf8Of(folder) +
                                            "' could not be flushed to disk",
                                        error);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        for (; next < n; ++next) {
            PendingOutput& output = pending[next];
            output.file.reset();
            const std::string note =
                output.temporary.empty() ? std::string() : RemoveTemporary(output.temporary);
            output.temporary.clear();
            failures[next].emplace(output.name, kNoMemory);
            if (!note.empty()) {
                failures[next]->AddNote(note);
            }
        }
    }
}

// Places one output on its own and throws its failure. `take` hands the
// output over once there is room for it: a failed allocation loses nothing.
template <typename Take>
void PlaceAlone(Take take, std::string* leftover, std::optional<RefusedOutput>* refused = nullptr) {
    std::vector<PendingOutput> alone;
    alone.reserve(1);
    std::vector<std::optional<FileError>> failures(1);
    alone.push_back(take());
    PlaceAll(alone, failures, leftover, refused);
    if (failures.front()) {
        throw *std::move(failures.front());
    }
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

std::optional<FileId> OutputBatch::FolderId(const fs::path& folder) const {
    for (const auto& [name, id] : folders_) {
        if (name == folder) {
            return id;
        }
    }
    folders_.emplace_back(folder, IdentifyFile(folder));
    return folders_.back().second;
}

// The links of an output were followed when it was made; a name that leads
// nowhere is followed here, the only case where its links can tell more than
// the file's identity.
OutputBatch::Known OutputBatch::KnownAs(const fs::path& path) const {
    fs::path followed = path;
    try {
        followed = FollowLinks(path);
    } catch (const FileError&) {
        // A link that cannot be read: its own name is all there is.
    }
    return {FolderId(FolderOf(followed)), followed.lexically_normal(), std::nullopt};
}

void OutputBatch::Add(OutputFile& written) {
    Known known;  // devices and pipes are written directly: nothing of theirs is replaced
    if (!written.Target().empty()) {
        known = {FolderId(FolderOf(written.Target())), written.Target().lexically_normal(),
                 written.Replacing() ? IdentifyFile(written.Target()) : std::nullopt};
    }
    pending_.reserve(pending_.size() + 1);
    known_.reserve(known_.size() + 1);
    failures_.reserve(failures_.size() + 1);
    PendingOutput taken = written.TakeWritten();
    // Nothing throws from here on.
    failures_.emplace_back();
    known_.push_back(std::move(known));
    bytes_ += taken.bytes;
    pending_.push_back(std::move(taken));
}

bool OutputBatch::Holds(const fs::path& path) const {
    if (pending_.empty()) {
        return false;
    }
    // What exists is known by its identity, however it is named; only a
    // name that leads nowhere is compared by its folder and name.
    const std::optional<NameEntry> entry = LookAtName(path);
    std::optional<FileId> id = entry ? std::optional<FileId>(entry->id) : std::nullopt;
    if (entry && entry->link) {
        id = IdentifyFile(path);
    }
    if (id) {
        return std::any_of(known_.begin(), known_.end(),
                           [&](const Known& output) { return output.id == id; });
    }
    const Known name =
        entry ? KnownAs(path) : Known{FolderId(FolderOf(path)), path.lexically_normal(), {}};
    return std::any_of(known_.begin(), known_.end(), [&](const Known& output) {
        if (output.name.empty()) {
            return false;
        }
        if (output.name == name.name) {
            return true;
        }
        return output.folder && output.folder == name.folder &&
               output.name.filename() == name.name.filename();
    });
}

std::vector<std::optional<FileError>> OutputBatch::Complete() noexcept {
    PlaceAll(pending_, failures_);
    std::vector<std::optional<FileError>> failures = std::move(failures_);
    failures_.clear();
    pending_.clear();
    known_.clear();
    folders_.clear();
    bytes_ = 0;
    return failures;
}

void OutputSink::Commit() {
    if (batch_ != nullptr) {
        batch_->Add(file_);
        return;
    }
    PlaceAlone([&] { return file_.TakeWritten(); }, &leftover_, keepRefused_ ? &refused_ : nullptr);
}

RefusedOutput& RefusedOutput::operator=(RefusedOutput&& other) noexcept {
    if (this != &other) {
        Discard();
        output_ = std::move(other.output_);
        other.output_.temporary.clear();
    }
    return *this;
}

std::string RefusedOutput::Replace() {
    output_.mayReplace = true;
    std::string leftover;
    PlaceAlone(
        [&] {
            PendingOutput output = std::move(output_);
            output_.temporary.clear();
            return output;
        },
        &leftover);
    return leftover;
}

std::string RefusedOutput::Discard() noexcept {
    return output_.temporary.empty() ? std::string()
                                     : RemoveTemporary(std::exchange(output_.temporary, {}));
}

std::string OutputSink::Discard() noexcept {
    std::string note = file_.Discard();
    return note.empty() ? std::exchange(leftover_, {}) : note;
}

}  // namespace vlt
