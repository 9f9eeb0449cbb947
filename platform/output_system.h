#pragma once

// What OutputBatch asks of the system, implemented once per system in
// platform/<system>/output_system.cpp. Each failure is the system's reason
// as a sentence ("No space left on device"); "" means it worked.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/output_batch.h"

namespace vlt::output_system {

// Puts every output's content on disk, sharing the file systems' work
// between them as far as the system allows; the failure of each output.
std::vector<std::string> FlushAll(const std::vector<PendingOutput>& outputs);

// Closes the output's file; the failure the system reports only now.
std::string Close(PendingOutput& output);

enum class Placed { Done, Exists, Failed };
struct Placing {
    Placed placed = Placed::Done;
    std::string reason;  // for Failed
};
// Renames the temporary file over the target when the output may replace
// it, else only where nothing is, the check and the rename in one step.
Placing PutInPlace(const PendingOutput& output);

// Makes the renames in `folder` durable.
std::string FlushFolder(const std::filesystem::path& folder);

// How many outputs may wait open at once: the system's limit on open files
// less what the rest of a run needs.
std::size_t MostOpenOutputs();

}  // namespace vlt::output_system
