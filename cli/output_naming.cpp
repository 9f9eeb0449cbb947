#include "cli/output_naming.h"

#include <filesystem>
#include <string_view>

#include "cipher/vlt_format.h"
#include "cli/messages.h"
#include "platform/file_access.h"
#include "platform/system.h"
#include "platform/utf8.h"

namespace vlt::cli {

std::optional<std::string> WithoutVltEnding(const std::string& input) {
    if (!HasVltEnding(input)) {
        return std::nullopt;
    }
    std::string name = input.substr(0, input.size() - kVltSuffix.size());
    if (name.empty() || name.back() == '/') {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> OutputRefusal(const std::string& path, bool mayReplace, bool named) {
    const std::filesystem::path output = PathFromUtf8(path);
    if (!named) {
        const std::size_t length = output.filename().native().size();
        const std::size_t longest = LongestFileName(FolderOf(output));
        if (length > longest) {
            return std::string(kNameTooLong) + " (" + std::to_string(length) + " " +
                   FileNameUnits() + "; its folder takes " + std::to_string(longest) +
                   " at most); " + std::string(kNameOutputHint);
        }
    }
    FileKind kind = FileKind::Absent;
    try {
        kind = KindOf(output);
    } catch (const FileError& e) {
        return e.Problem() + ": " + e.Reason();
    }
    switch (kind) {
        case FileKind::Absent:  // what stops it from being made, the run tells
        case FileKind::Other:   // /dev/null, a pipe: written to
            return std::nullopt;
        case FileKind::Folder:
            return named ? "is a folder; -o takes a file name"
                         : "is a folder; name the output file with -o";
        case FileKind::Regular:
            return mayReplace ? std::nullopt
                              : std::optional<std::string>(WithForceHint("already exists"));
        case FileKind::Terminal:
            return "is a terminal; binary output is not written to a terminal";
    }
    return std::nullopt;
}

}  // namespace vlt::cli
