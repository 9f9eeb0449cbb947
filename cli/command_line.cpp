#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

#include "cli/messages.h"
#include "platform/system.h"

namespace vlt::cli {
namespace {

// What Windows programs take as a call for help; vlt's options start with "-".
constexpr std::string_view kWindowsHelp = "/?";

constexpr const char* kFooter =
    "The primary key is asked for on the terminal, without echo, or read with --key-file.\n"
    "There is deliberately no option that takes the key itself: it would show in the\n"
    "process list and in the shell history.\n"
    "\n"
    "Exit status: 0 success, 1 an input could not be processed, 2 usage error,\n"
    "128 + the signal's number when interrupted: 130 Ctrl-C (SIGINT), 143 SIGTERM,\n"
    "129 SIGHUP. See vlt(1).";

struct Parser {
    CLI::App app{"Encrypt and decrypt .vlt files with a primary key.", "vlt"};
    Options options;
    std::vector<std::pair<CLI::App*, Command>> commands;

    CLI::App* AddCommand(const char* name, const char* description, Command command) {
        CLI::App* sub = app.add_subcommand(name, description);
        sub->footer(kFooter);
        sub->add_option("INPUT", options.inputs, "Files to process; - reads standard input")
            ->required();
        commands.emplace_back(sub, command);
        return sub;
    }

    void AddKeyOptions(CLI::App* sub) {
        sub->add_option("--key-file", options.keyFile,
                        "Read the primary key from FILE (- for standard input): its UTF-8 "
                        "content less one trailing newline")
            ->type_name("FILE");
        sub->add_option("--codepage", options.codePage,
                        "Code page of the key's characters, e.g. 1250 or cp1252 "
                        "(default: VLT_CODEPAGE, else " +
                            std::string(UserCodePageSource()) + ")")
            ->type_name("CP");
        sub->add_flag("-q,--quiet", options.quiet, "No progress bar, no warnings");
    }

    void AddOutputOptions(CLI::App* sub) {
        sub->add_option("-o,--output", options.output,
                        "Output file (one INPUT only); - writes standard output")
            ->type_name("PATH");
        sub->add_flag("-f,--force", options.mayReplace, "Replace an existing output file");
    }

    Parser() {
        app.set_version_flag("--version", "vlt " VLT_VERSION);
        app.require_subcommand(1);
        app.footer(kFooter);
        // CLI11 takes "/x" for an option on Windows; there it is a path on the current drive.
        app.allow_windows_style_options(false);

        CLI::App* encrypt =
            AddCommand("encrypt", "Encrypt each INPUT to INPUT.vlt", Command::Encrypt);
        AddOutputOptions(encrypt);
        AddKeyOptions(encrypt);

        CLI::App* decrypt = AddCommand(
            "decrypt", "Decrypt each INPUT.vlt to INPUT (the name less .vlt)", Command::Decrypt);
        AddOutputOptions(decrypt);
        AddKeyOptions(decrypt);
        decrypt->add_flag("--no-key-check", options.noKeyCheck,
                          "Write the output even when values above 255 show a wrong key or a "
                          "damaged file (they are written modulo 256)");
        decrypt->add_flag("--salvage", options.salvage,
                          "Write what can be read of a damaged file (cut short, a byte that is "
                          "not a digit, a byte lost or added); unknown bytes are written as 0");

        CLI::App* check = AddCommand(
            "check", "Tell whether each INPUT is an encrypted file and how much it holds",
            Command::Check);
        AddKeyOptions(check);
        check->add_flag("--ask-key", options.askKey,
                        "Also ask for a primary key on the terminal and tell whether it fits");
    }
};

// Combinations CLI11 cannot express; returns the complaint, empty when fine.
std::string CheckCombinations(const Options& options) {
    const auto standardInputs =
        std::count(options.inputs.begin(), options.inputs.end(), kStandardStream);
    if (options.output && options.inputs.size() > 1) {
        return "--output takes one INPUT only; the outputs of several are named after them";
    }
    if (standardInputs > 1) {
        return std::string(kStandardInputName) + " (-) can be read only once";
    }
    if (standardInputs > 0 && options.keyFile == kStandardStream) {
        return "the key file and an INPUT cannot both be " + std::string(kStandardInputName);
    }
    if (standardInputs > 0 && options.command != Command::Check && !options.output) {
        return std::string(kStandardInputName) +
               " has no name to derive the output's from; name it with -o "
               "(- for standard output)";
    }
    if (options.keyFile && options.askKey) {
        return "--ask-key and --key-file exclude each other";
    }
    return {};
}

// Levenshtein's: the fewest insertions, deletions and substitutions from a to b.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The command a mistyped word most likely meant: the only one it begins, else
// the only nearest within two edits; empty when none stands out.
std::string NearestCommand(const std::string& word, const std::vector<std::string>& names) {
    std::vector<std::string> prefixed;
    std::copy_if(names.begin(), names.end(), std::back_inserter(prefixed),
                 [&](const std::string& name) { return name.starts_with(word); });
    if (prefixed.size() == 1) {
        return prefixed.front();
    }
    constexpr std::size_t kMostEdits = 2;
    std::vector<std::string> nearest;
    std::size_t best = kMostEdits;
    for (const std::string& name : names) {
        const std::size_t distance = EditDistance(word, name);
        if (distance < best) {
            nearest.clear();
            best = distance;
        }
        if (distance == best) {
            nearest.push_back(name);
        }
    }
    return nearest.size() == 1 ? nearest.front() : std::string();
}

std::string Listed(const std::vector<std::string>& words, const char* between, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? last : between) + words[i];
    }
    return text;
}

bool IsOptionWord(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

// "-o/--output", as the help lists it.
std::string OptionNames(const CLI::Option& option) {
    std::vector<std::string> names;
    for (const std::string& shortName : option.get_snames()) {
        names.push_back("-" + shortName);
    }
    for (const std::string& longName : option.get_lnames()) {
        names.push_back("--" + longName);
    }
    return Listed(names, "/", "/");
}

// CLI11's complaint in vlt's words, with what to type next. CLI11 checks what
// is required before it reports words it did not know, so those are looked
// for first: a mistyped option is the likelier fault.
std::string UsageComplaint(const Parser& parser, const CLI::ParseError& error) {
    const CLI::App* command = nullptr;
    for (const auto& [sub, kind] : parser.commands) {
        if (sub->parsed()) {
            command = sub;
        }
    }
    const std::string help =
        "; see vlt " + (command ? command->get_name() + " " : std::string()) + "--help";
    const std::vector<std::string> unknown = parser.app.remaining(true);
    std::vector<std::string> options;
    std::copy_if(unknown.begin(), unknown.end(), std::back_inserter(options), IsOptionWord);
    if (!options.empty()) {
        return (options.size() == 1 ? "unknown option " : "unknown options ") +
               Listed(options, ", ", " and ") + help;
    }
    if (!command && !unknown.empty()) {
        std::vector<std::string> names;
        for (const auto& [sub, kind] : parser.commands) {
            names.push_back(sub->get_name());
        }
        const std::string nearest = NearestCommand(unknown.front(), names);
        return "unknown command '" + unknown.front() + "'; " +
               (nearest.empty() ? "the commands are " + Listed(names, ", ", " and ") + help
                                : "did you mean " + nearest + "?");
    }
    std::string message = error.what();
    if (command && dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        for (const CLI::Option* option : command->get_options()) {
            if (option->count() > 1 && option->get_items_expected_max() == 1) {
                return OptionNames(*option) + " given twice; give it once";
            }
            // The one left without its value is named at the start.
            if (option->count() == 0 && message.starts_with(option->get_name() + ": ")) {
                return OptionNames(*option) + " takes a value (" + option->get_type_name() + ")" +
                       help;
            }
        }
    }
    if (message.size() > 1 && !std::isupper(static_cast<unsigned char>(message[1]))) {
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    return message + help;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    Parser parser;
    try {
        // CLI11 takes them last first, without the program's name.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend() - 1);
        if (std::find(reversed.begin(), reversed.end(), kWindowsHelp) != reversed.end()) {
            ShowMessage("options start with - or --; for help: vlt --help");
            return {std::nullopt, kExitUsage};
        }
        parser.app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return {std::nullopt, parser.app.exit(e)};
        }
        ShowMessage(UsageComplaint(parser, e));
        return {std::nullopt, kExitUsage};
    }
    for (const auto& [sub, command] : parser.commands) {
        if (sub->parsed()) {
            parser.options.command = command;
        }
    }
    if (const std::string complaint = CheckCombinations(parser.options); !complaint.empty()) {
        ShowMessage(complaint);
        return {std::nullopt, kExitUsage};
    }
    return {std::move(parser.options), kExitSuccess};
}

std::vector<CommandWords> CommandLineWords() {
    const Parser parser;
    const auto wordsOf = [](const CLI::App& app, std::string name, bool encryptedInputs) {
        CommandWords command{std::move(name), app.get_description(), {}, encryptedInputs};
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_positional()) {
                continue;
            }
            OptionWords words{{}, {}, option->get_description()};
            for (const std::string& shortName : option->get_snames()) {
                words.names.push_back("-" + shortName);
            }
            for (const std::string& longName : option->get_lnames()) {
                words.names.push_back("--" + longName);
            }
            if (option->get_type_size() != 0) {
                words.valueName = option->get_type_name();
            }
            command.options.push_back(std::move(words));
        }
        return command;
    };
    std::vector<CommandWords> words{wordsOf(parser.app, {}, false)};
    for (const auto& [sub, command] : parser.commands) {
        words.push_back(wordsOf(*sub, sub->get_name(), command != Command::Encrypt));
    }
    return words;
}

}  // namespace vlt::cli
