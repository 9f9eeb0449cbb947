#pragma once

// The few calls below the shared file access (file_access.cpp) that each
// system makes its own way, beside the private members of InputFile and
// OutputFile; in platform/<system>/file_access.cpp.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vlt::file_system {

// Where the symbolic link at `path` leads, as the link says it (relative to
// its folder or absolute); none when `path` is no link or nothing is there.
// Throws FileError when the system cannot tell.
std::optional<std::filesystem::path> LinkTarget(const std::filesystem::path& path);

// Adds a read of `got` bytes of the `asked` to `read`. A short read is the
// end of the file: it must be where the file's `size` said, else the file
// changed while it was read and FileError names it.
void CountRead(std::uint64_t& read, std::size_t got, std::size_t asked,
               const std::optional<std::uint64_t>& size, const std::string& name);

// The longest file name, in the system's units, that `folder` takes.
std::size_t LongestName(const std::filesystem::path& folder);

// The system's reason when every temporary name tried was taken.
std::string NameTakenReason();

}  // namespace vlt::file_system
