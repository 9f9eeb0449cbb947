#include "cli/output_naming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "cipher/vlt_format.h"

namespace vlt::cli {
namespace {

bool IsTerminalDevice(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool terminal = isatty(fd) == 1;
    close(fd);
    return terminal;
}

std::string CannotLook(int error) {
    return std::string("cannot tell whether it exists: ") + std::strerror(error);
}

}  // namespace

bool HasVltEnding(std::string_view name) {
    if (name.size() < kVltSuffix.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - kVltSuffix.size());
    return std::equal(tail.begin(), tail.end(), kVltSuffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::string EncryptedName(const std::string& input) {
    return input + std::string(kVltSuffix);
}

std::optional<std::string> DecryptedName(const std::string& input) {
    if (!HasVltEnding(input)) {
        return std::nullopt;
    }
    std::string name = input.substr(0, input.size() - kVltSuffix.size());
    if (name.empty() || name.back() == '/') {
        return std::nullopt;
    }
    return name;
}

std::size_t LongestFileName(const std::string& path) {
    constexpr long kUsual = 255;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const long longest = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return static_cast<std::size_t>(longest > 0 ? longest : kUsual);
}

std::optional<std::string> OutputRefusal(const std::string& path, bool force, bool named) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0) {
        // A new file; what stops it from being made, the run tells. Any other
        // failure to look is no proof that nothing is there.
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        return CannotLook(errno);
    }
    struct stat target {};
    const bool dangling = stat(path.c_str(), &target) != 0;
    if (dangling && errno != ENOENT) {
        return CannotLook(errno);
    }
    if (!dangling && S_ISDIR(target.st_mode)) {
        return named ? "is a folder; -o takes a file name"
                     : "is a folder; name the output file with -o";
    }
    if (dangling || S_ISREG(target.st_mode)) {
        return force ? std::nullopt
                     : std::optional<std::string>("already exists; " + std::string(kForceHint));
    }
    if (S_ISCHR(target.st_mode) && IsTerminalDevice(path)) {
        return "is a terminal; binary output is not written to a terminal";
    }
    return std::nullopt;
}

}  // namespace vlt::cli
