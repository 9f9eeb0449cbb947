#pragma once

// The seam between written outputs and the system that puts them on disk and
// in place: the records that cross it, and the steps each system implements
// in platform/<system>/output_system.cpp. OutputFile (file_access.h) hands
// over what it wrote as a PendingOutput; OutputBatch (output_batch.h) takes
// it through these steps. Each failure is the system's reason as a sentence
// ("No space left on device"); "" means it worked.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vlt {

// A file the system has open; each system defines it.
struct OpenFile;
struct CloseOpenFile {
    void operator()(OpenFile* file) const noexcept;
};
using OwnedFile = std::unique_ptr<OpenFile, CloseOpenFile>;

// An output whose content is written and which waits for its flush and rename.
struct PendingOutput {
    std::string name;                 // as given, for messages
    std::filesystem::path target;     // the file that receives the content
    std::filesystem::path temporary;  // empty when written directly (a device, a pipe)
    OwnedFile file;                   // open on the temporary file or the target
    std::uint64_t bytes = 0;
    bool mayReplace = false;  // may replace a file at `target`; else only where nothing is
};

// Marks the temporary files an output leaves behind only when the process
// is killed mid-run: ".<output name>.vlt-partial-XXXXXX".
inline constexpr const char* kTemporaryMarker = ".vlt-partial-";

// A name for a temporary file in the folder of `target`,
// ".<name>.vlt-partial-XXXXXX" with six random letters: the only trace a
// stopped run may leave.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target);

// The folder that holds `file`: "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path& file);

// Removes a temporary file; "" when it is gone, else a sentence for the
// user: "could not remove the temporary file 'F': reason".
std::string RemoveTemporary(const std::filesystem::path& temporary) noexcept;

namespace output_system {

// Removes a file; "" when it is gone (or was never there), else the reason.
std::string RemoveFile(const std::filesystem::path& file) noexcept;

// Puts every output's content on disk, sharing the file systems' work
// between them as far as the system allows; the failure of each output.
std::vector<std::string> FlushAll(const std::vector<PendingOutput>& outputs);

// Closes an open file and frees it; the failure the system reports only now.
std::string CloseFile(OpenFile* file) noexcept;

enum class Placed { Done, Exists, Failed };
struct Placing {
    Placed placed = Placed::Done;
    std::string reason;  // for Failed: the reason; for Done: a leftover to name
};
// Renames the temporary file over the target when the output may replace
// it, else only where nothing is, the check and the rename in one step.
// Done with a reason: the output is in place, but a second name of it (the
// temporary one) could not be removed; the reason is the sentence that names it.
Placing PutInPlace(const PendingOutput& output);

// Makes the renames in `folder` durable.
std::string FlushFolder(const std::filesystem::path& folder);

// How many outputs may wait open at once: the system's limit on open files
// less what the rest of a run needs.
std::size_t MostOpenOutputs();

}  // namespace output_system
}  // namespace vlt
