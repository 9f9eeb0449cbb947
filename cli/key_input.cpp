#include "cli/key_input.h"

#include <array>

#include "cli/command_line.h"
#include "cli/messages.h"
#include "platform/file_access.h"
#include "platform/terminal.h"
#include "platform/utf8.h"

namespace vlt::cli {
namespace {

// A key file larger than this is surely the wrong file (and /dev/zero never ends).
constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

// "missing: cannot open the key file: No such file or directory"; a file
// that opens but is no file to read ("is a folder") cannot be read.
std::string KeyFileProblem(const FileError& error, const std::string& name, bool opening) {
    const bool open = opening && !error.Reason().empty();
    return name + (open ? ": cannot open the key file: " : ": cannot read the key file: ") +
           (error.Reason().empty() ? error.Problem() : error.Reason());
}

std::string ReadAll(ByteSource& source, const std::string& name) {
    std::string content;
    std::array<std::uint8_t, 4096> buffer{};
    while (const std::size_t n = source.Read(buffer)) {
        content.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
        if (content.size() > kMaxKeyFileBytes) {
            throw KeyError(name + ": the key file is larger than 1 MiB; is it the right file?");
        }
    }
    return content;
}

}  // namespace

std::string KeyFromFileContent(std::string content) {
    // Windows editors begin UTF-8 text with a byte-order mark.
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.erase(0, 3);
    }
    if (content.ends_with("\r\n")) {
        content.resize(content.size() - 2);
    } else if (content.ends_with('\n')) {
        content.pop_back();
    }
    if (content.empty()) {
        throw KeyError(std::string(kEnterKeyMessage) + " (the key file is empty)");
    }
    if (!IsValidUtf8(content)) {
        throw KeyError("the key file is not valid UTF-8; save the key as UTF-8 text");
    }
    return content;
}

std::string ReadKeyFile(const std::string& path, const CancelSignal& cancel) {
    const bool standardInput = path == kStandardStream;
    const std::string name = standardInput ? "standard input" : path;
    std::unique_ptr<ByteSource> source;
    try {
        source = standardInput
                     ? std::unique_ptr<ByteSource>(std::make_unique<StandardInput>(&cancel))
                     : std::make_unique<InputFile>(PathFromUtf8(path), &cancel);
    } catch (const FileError& e) {
        throw KeyError(KeyFileProblem(e, name, true));
    }
    std::string content;
    try {
        content = ReadAll(*source, name);
    } catch (const FileError& e) {
        throw KeyError(KeyFileProblem(e, name, false));
    }
    try {
        return KeyFromFileContent(std::move(content));
    } catch (const KeyError& e) {
        throw KeyError(name + ": " + e.what());
    }
}

std::string AskKey(bool twice, const CancelSignal& cancel) {
    std::optional<SecretPrompt> terminal = SecretPrompt::Open();
    if (!terminal) {
        throw KeyError("no terminal to ask for the primary key on; use --key-file FILE");
    }
    const auto ask = [&](std::string_view prompt) {
        try {
            return terminal->Ask(prompt, cancel);
        } catch (const TerminalError& e) {
            throw KeyError(std::string("cannot read the primary key from the terminal: ") +
                           e.what());
        }
    };
    std::string key = ask("Primary key: ");
    if (key.empty()) {
        throw KeyError(std::string(kEnterKeyMessage));
    }
    if (!IsValidUtf8(key)) {
        throw KeyError("the key typed is not valid UTF-8; set the terminal to UTF-8");
    }
    if (twice && ask("Primary key again: ") != key) {
        throw KeyError("the two keys typed differ; nothing was done");
    }
    return key;
}

}  // namespace vlt::cli
