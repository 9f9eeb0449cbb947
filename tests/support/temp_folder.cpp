#include "tests/support/temp_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/utf8.h"

namespace vlt::testing_support {
namespace {

std::string RandomName(const std::string& prefix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // Seeded afresh per folder: parallel test programs must not draw the same names.
    std::mt19937_64 rng(std::random_device{}());
    std::string name = prefix;
    for (int i = 0; i < 12; ++i) {
        name += kLetters[rng() % (sizeof kLetters - 1)];
    }
    return name;
}

}  // namespace

TempFolder::TempFolder(const std::filesystem::path& parent, const std::string& prefix) {
    // Another process may have taken the name between the draw and the
    // creation: only create_directory's own answer counts.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = parent / RandomName(prefix);
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
        if (error && error != std::errc::file_exists) {
            throw std::filesystem::filesystem_error("cannot make a temporary folder", candidate,
                                                    error);
        }
    }
    throw std::filesystem::filesystem_error(
        "cannot make a temporary folder: every name drawn exists", parent,
        std::make_error_code(std::errc::file_exists));
}

TempFolder::~TempFolder() {
    // A test may have taken its own rights away to provoke a failure.
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(Utf8Of(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace vlt::testing_support
