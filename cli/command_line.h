#pragma once

// What the user asked for, read from the command line with CLI11.

#include <optional>
#include <string>
#include <vector>

namespace vlt::cli {

enum class Command { Encrypt, Decrypt, Check };

// Names "-" for standard input (as INPUT or --key-file) or standard output (as --output).
inline constexpr const char* kStandardStream = "-";

struct Options {
    Command command = Command::Encrypt;
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool mayReplace = false;  // --force
    std::optional<std::string> keyFile;
    bool askKey = false;  // check: ask for a key to test as well
    std::optional<std::string> codePage;
    bool noKeyCheck = false;
    bool salvage = false;  // decrypt: write what can be read of a damaged file
    bool quiet = false;

    bool NeedsKey() const { return command != Command::Check || keyFile || askKey; }
};

// Exit statuses of vlt.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // some input could not be processed
inline constexpr int kExitUsage = 2;    // the command cannot start as given
// An interrupted run exits with 128 + the signal's number (platform/interruption.h).

// The options, or the status to exit with at once (after --help, --version or
// a usage error, which has been reported on standard error).
struct ParsedCommandLine {
    std::optional<Options> options;
    int exitStatus = kExitSuccess;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The words of the command line as the parser defines them, for the shell completions.
struct OptionWords {
    std::vector<std::string> names;  // "-o", "--output"
    std::string valueName;           // "FILE", "PATH", ...; empty for a flag
    std::string description;
};
struct CommandWords {
    std::string name;  // empty for the options before a command
    std::string description;
    std::vector<OptionWords> options;
    bool encryptedInputs = false;  // its INPUTs are .vlt files
};
std::vector<CommandWords> CommandLineWords();

}  // namespace vlt::cli
