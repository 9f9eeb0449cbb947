#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

namespace vlt::cli {
namespace {

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
                        "(default: VLT_CODEPAGE, else from the locale)")
            ->type_name("CP");
        sub->add_flag("-q,--quiet", options.quiet, "No progress bar, no warnings");
    }

    void AddOutputOptions(CLI::App* sub) {
        sub->add_option("-o,--output", options.output,
                        "Output file (one INPUT only); - writes standard output")
            ->type_name("PATH");
        sub->add_flag("-f,--force", options.force, "Replace an existing output file");
    }

    Parser() {
        app.set_version_flag("--version", "vlt " VLT_VERSION);
        app.require_subcommand(1);
        app.footer(kFooter);

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
        return "standard input (-) can be read only once";
    }
    if (standardInputs > 0 && options.keyFile == kStandardStream) {
        return "the key file and an INPUT cannot both be standard input";
    }
    if (standardInputs > 0 && options.command != Command::Check && !options.output) {
        return "standard input has no name to derive the output's from; name it with -o "
               "(- for standard output)";
    }
    if (options.keyFile && options.askKey) {
        return "--ask-key and --key-file exclude each other";
    }
    return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
    Parser parser;
    try {
        parser.app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return {std::nullopt, parser.app.exit(e)};
        }
        std::cerr << "vlt: " << e.what() << "\nRun 'vlt --help' for usage.\n";
        return {std::nullopt, kExitUsage};
    }
    for (const auto& [sub, command] : parser.commands) {
        if (sub->parsed()) {
            parser.options.command = command;
        }
    }
    if (const std::string complaint = CheckCombinations(parser.options); !complaint.empty()) {
        std::cerr << "vlt: " << complaint << "\n";
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
