#pragma once

// Where written outputs go: in place alone, or together with others. A flush
// to disk costs the file system a commit of its own, the same for 4 KiB as
// for 4 MiB: paid once per output it would dwarf the work on small files. So
// the outputs of a batch are flushed together (one syncfs per file system, or
// fsyncs issued side by side, which share the commits), then each is renamed
// over its output, then each folder is flushed once. An output replaces its
// old content only once its own is on disk; a crash before a folder's flush
// may undo renames, never half-do one. syncfs is trusted only on file systems
// that keep their data on this machine (see SyncfsReaches); elsewhere every
// output gets its own fsync. What the system does for each step is in
// platform/<system>/output_system.cpp (see output_system.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_access.h"
#include "platform/output_system.h"

namespace vlt {

class OutputBatch {
  public:
    OutputBatch() = default;
    // Discards what was not completed: temporary files go, outputs stay untouched.
    ~OutputBatch();
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;

    // Takes the written output over; throws (std::bad_alloc) only before it
    // has, so that the file keeps its temporary file to discard.
    void Add(OutputFile& written);
    std::size_t size() const { return pending_.size(); }
    std::uint64_t bytes() const { return bytes_; }
    // Time to complete the batch: each waiting output holds a descriptor, and
    // the process may open only so many (RLIMIT_NOFILE); their bytes wait in memory.
    bool Full() const;
    // Whether `path` leads to a file that one of the outputs will replace:
    // by its name with links followed, or as the same file (FileId).
    bool Holds(const std::filesystem::path& path) const;

    // Flushes every output and puts it in place; empties the batch. For each
    // output in the order added: nothing once it is in place and on disk, or
    // the failure that left its old content untouched (or the leftover it
    // could not remove). Throws nothing: memory that runs out fails the
    // outputs not yet in place.
    std::vector<std::optional<FileError>> Complete() noexcept;

  private:
    // How Holds knows a pending output's file: its folder and name, and its
    // identity when it existed already.
    struct Known {
        std::optional<FileId> folder;
        std::filesystem::path name;
        std::optional<FileId> id;
    };
    Known KnownAs(const std::filesystem::path& path) const;
    std::optional<FileId> FolderId(const std::filesystem::path& folder) const;

    std::vector<PendingOutput> pending_;
    std::vector<Known> known_;
    // One per output, made as it is added: completing needs no memory for them.
    std::vector<std::optional<FileError>> failures_;
    std::uint64_t bytes_ = 0;
    // The folders the outputs go to, looked up once per batch.
    mutable std::vector<std::pair<std::filesystem::path, std::optional<FileId>>> folders_;
};

// A finished output refused its place because a file appeared at its name
// during the run: flushed and closed under its temporary name, it waits for
// the word to replace that file. Dropped unplaced, its temporary file goes.
class RefusedOutput {
  public:
    explicit RefusedOutput(PendingOutput written) noexcept : output_(std::move(written)) {}
    ~RefusedOutput() { Discard(); }
    RefusedOutput(RefusedOutput&& other) noexcept : output_(std::move(other.output_)) {
        other.output_.temporary.clear();
    }
    RefusedOutput& operator=(RefusedOutput&& other) noexcept;

    // Puts it in place over what is at its name now. Throws the FileError that
    // left that file untouched (the temporary file gone or named in it); else
    // "" or the note on a temporary name the output in place could not shed.
    std::string Replace();
    // Removes the temporary file: "" or the note naming the file left.
    std::string Discard() noexcept;

  private:
    PendingOutput output_;
};

// An OutputFile that a run writes as any sink: Commit puts it in place
// alone, or hands it to `batch` when given one (Finished then means written,
// not yet in place).
class OutputSink final : public ByteSink {
  public:
    // `keepRefused`: an output refused its place alone is kept for TakeRefused
    // rather than removed.
    OutputSink(const std::filesystem::path& path, const OutputSettings& settings,
               OutputBatch* batch = nullptr, bool keepRefused = false)
        : file_(path, settings), batch_(batch), keepRefused_(keepRefused) {}

    void Write(std::span<const std::uint8_t> data) override { file_.Write(data); }
    void Commit() override;
    const std::string& Name() const override { return file_.Name(); }
    // See OutputFile::Discard; after a Commit alone, the note on the temporary
    // name an output in place could not shed.
    std::string Discard() noexcept;
    // After a Commit that threw FileError::Exists, with `keepRefused`: the finished output.
    std::optional<RefusedOutput> TakeRefused() { return std::exchange(refused_, std::nullopt); }

  private:
    OutputFile file_;
    OutputBatch* batch_;
    bool keepRefused_;
    std::string leftover_;
    std::optional<RefusedOutput> refused_;
};

}  // namespace vlt
