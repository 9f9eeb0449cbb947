// What the seam shares between the systems: the open file's closer and the
// temporary names. The system's own steps are in
// platform/<system>/output_system.cpp.

#include "platform/output_system.h"

#include <chrono>
#include <random>
#include <string>

#include "platform/utf8.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// What is kept of the output's name in a temporary one, in UTF-8 bytes:
// with the dot, the marker and six letters, within the 255 that file systems take.
constexpr std::size_t kMostNameBytes = 200;

// The longest start of `name` of at most `most` bytes, cut between characters.
std::string Shortened(const std::string& name, std::size_t most) {
    if (name.size() <= most) {
        return name;
    }
    std::size_t end = most;
    while (end > 0 && IsContinuationByte(name[end])) {
        --end;  // the character starts earlier
    }
    return name.substr(0, end);
}

}  // namespace

void CloseOpenFile::operator()(OpenFile* file) const noexcept {
    output_system::CloseFile(file);
}

fs::path TemporaryBeside(const fs::path& target) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::string name =
        "." + Shortened(Utf8Of(target.filename()), kMostNameBytes) + kTemporaryMarker;
    for (int i = 0; i < 6; ++i) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return FolderOf(target) / PathFromUtf8(name);
}

std::string RemoveTemporary(const fs::path& temporary) noexcept {
    const std::string reason = output_system::RemoveFile(temporary);
    if (reason.empty()) {
        return reason;
    }
    return "could not remove the temporary file '" + Utf8Of(temporary) + "': " + reason;
}

fs::path FolderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

}  // namespace vlt
