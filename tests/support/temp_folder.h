#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Tests that fill their folders draw the content from here too.
#include "tests/support/random_bytes.h"

namespace vlt::testing_support {

// A fresh folder of a random name, removed with its content at the end.
// Throws std::filesystem::filesystem_error when it cannot be made.
class TempFolder {
  public:
    explicit TempFolder(
        const std::filesystem::path& parent = std::filesystem::temp_directory_path(),
        const std::string& prefix = "vlt-test-");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

    // Every name in the folder as UTF-8, sorted: shows leftovers such as temporary files.
    std::vector<std::string> Names() const;

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::string& content);

}  // namespace vlt::testing_support
