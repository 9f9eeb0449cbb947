#pragma once

// Written outputs that reach the disk and their places together. A flush to
// disk costs the file system a commit of its own, the same for 4 KiB as for
// 4 MiB: paid once per output it would dwarf the work on small files. So the
// outputs of a batch are flushed together (one syncfs per file system, or
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
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_access.h"

namespace vlt {

// An output whose content is written and which waits for its flush and rename.
struct PendingOutput {
    std::string name;                 // as given, for messages
    std::filesystem::path target;     // the file that receives the content
    std::filesystem::path temporary;  // empty when written directly (a device, a pipe)
    OwnedFile file;                   // open on the temporary file or the target
    std::uint64_t bytes = 0;
    bool replace = false;  // may replace a file at `target`; else only where nothing is
};

class OutputBatch {
  public:
    OutputBatch() = default;
    // Discards what was not completed: temporary files go, outputs stay untouched.
    ~OutputBatch();
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;

    void Add(PendingOutput output);
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
    // the failure that left its old content untouched.
    std::vector<std::optional<FileError>> Complete();

  private:
    // How Holds knows a pending output's file: its name, links followed, and
    // its identity when it exists already.
    struct Known {
        std::filesystem::path name;
        std::optional<FileId> id;
    };
    std::vector<PendingOutput> pending_;
    std::vector<Known> known_;
    std::uint64_t bytes_ = 0;
};

}  // namespace vlt
