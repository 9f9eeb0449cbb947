// Writes vlt's completion for bash, fish or zsh to standard output. It is made from the
// words the parser defines, so that no completion can fall behind the command line.
//
// usage: vlt_shell_completion bash|fish|zsh

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/vlt_format.h"
#include "cli/command_line.h"

namespace {

using vlt::cli::CommandWords;
using vlt::cli::OptionWords;

std::string Join(const std::vector<std::string>& words, const char* separator) {
    std::string joined;
    for (const std::string& word : words) {
        joined += (joined.empty() ? "" : separator) + word;
    }
    return joined;
}

bool TakesFile(const OptionWords& option) {
    return option.valueName == "FILE" || option.valueName == "PATH";
}

std::vector<std::string> CommandNames(const std::vector<CommandWords>& commands) {
    std::vector<std::string> names;
    for (const CommandWords& command : commands) {
        if (!command.name.empty()) {
            names.push_back(command.name);
        }
    }
    return names;
}

// `text` with a backslash before each of `special`.
std::string Escaped(const std::string& text, std::string_view special) {
    std::string escaped;
    for (const char c : text) {
        if (special.find(c) != std::string_view::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

// --- bash ---

// The options of any command whose value is a file name, or anything else.
std::vector<std::string> ValuedOptions(const std::vector<CommandWords>& commands, bool fileNames) {
    std::vector<std::string> names;
    for (const CommandWords& command : commands) {
        for (const OptionWords& option : command.options) {
            if (!option.valueName.empty() && TakesFile(option) == fileNames) {
                for (const std::string& name : option.names) {
                    if (std::find(names.begin(), names.end(), name) == names.end()) {
                        names.push_back(name);
                    }
                }
            }
        }
    }
    return names;
}

// A case arm for these patterns, or nothing when there are none.
std::string Arm(const std::vector<std::string>& patterns, const std::string& body) {
    return patterns.empty() ? std::string()
                            : "        " + Join(patterns, " | ") + ")" + body + "\n";
}

// The encrypted files' ending without its dot, and as a bash glob of any case: "[vV][lL][tT]".
const std::string kEnding(vlt::kVltSuffix.substr(1));

std::string AnyCase(const std::string& word) {
    std::string glob;
    for (const char c : word) {
        glob += std::string("[") + c + static_cast<char>(c - 'a' + 'A') + "]";
    }
    return glob;
}

// The words each command completes after it, and whether its INPUTs are .vlt files.
std::string CommandArms(const std::vector<CommandWords>& commands, const std::string& names) {
    std::string arms;
    for (const CommandWords& command : commands) {
        std::vector<std::string> words;
        for (const OptionWords& option : command.options) {
            words.insert(words.end(), option.names.begin(), option.names.end());
        }
        const std::string pattern = command.name.empty() ? "''" : command.name;
        const std::string leading = command.name.empty() ? names + " " : "";
        arms += "        " + pattern + ") words='" + leading + Join(words, " ") + "'" +
                (command.encryptedInputs ? " encrypted=1" : "") + " ;;\n";
    }
    return arms;
}

std::string Bash(const std::vector<CommandWords>& commands) {
    const std::vector<std::string> names = CommandNames(commands);
    return "# bash completion for vlt, generated from its command line.\n"
           "_vlt() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
           "    local command='' words='' encrypted='' i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "            " +
           Join(names, " | ") +
           ") command=${COMP_WORDS[i]} && break ;;\n"
           "        esac\n"
           "    done\n"
           "    case $command in\n" +
           CommandArms(commands, Join(names, " ")) +
           "    esac\n"
           "    case $prev in\n" +
           Arm(ValuedOptions(commands, true),
               "\n"
               "            compopt -o filenames 2>/dev/null\n"
               "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
               "            return ;;") +
           Arm(ValuedOptions(commands, false), " COMPREPLY=() && return ;;") +
           "    esac\n"
           "    if [[ -z $command || $cur == -* ]]; then\n"
           "        mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n"
           "        return\n"
           "    fi\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    if [[ -n $encrypted ]]; then\n"
           "        # Folders to go on with, and .vlt files in any case, as decrypt takes them.\n"
           "        mapfile -t COMPREPLY < <(compgen -d -- \"$cur\"\n"
           "            compgen -f -X '!*." +
           AnyCase(kEnding) +
           "' -- \"$cur\")\n"
           "    else\n"
           "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
           "    fi\n"
           "}\n"
           "complete -F _vlt vlt\n";
}

// --- fish ---

std::string FishQuoted(const std::string& text) {
    return "'" + Escaped(text, "\\'") + "'";
}

std::string Fish(const std::vector<CommandWords>& commands) {
    const std::string beforeCommand =
        "-n " + FishQuoted("not __fish_seen_subcommand_from " + Join(CommandNames(commands), " "));
    std::string script =
        "# fish completion for vlt, generated from its command line.\n"
        "complete -c vlt -f\n"
        "function __vlt_encrypted_files --description 'Folders and ." +
        kEnding +
        " files'\n"
        "    string match --regex --ignore-case --entire -- '\\." +
        kEnding + "$|/$' (__fish_complete_suffix ." + kEnding +
        ")\n"
        "end\n";
    for (const CommandWords& command : commands) {
        std::string condition = beforeCommand;
        if (!command.name.empty()) {
            condition = "-n " + FishQuoted("__fish_seen_subcommand_from " + command.name);
            script += "complete -c vlt " + beforeCommand + " -a " + command.name + " -d " +
                      FishQuoted(command.description) + "\n";
            script += "complete -c vlt " + condition +
                      (command.encryptedInputs ? " -a '(__vlt_encrypted_files)'" : " -F") + "\n";
        }
        for (const OptionWords& option : command.options) {
            script += "complete -c vlt " + condition;
            for (const std::string& name : option.names) {
                script +=
                    name.starts_with("--") ? " -l " + name.substr(2) : " -s " + name.substr(1);
            }
            if (!option.valueName.empty()) {
                script += TakesFile(option) ? " -r -F" : " -x";
            }
            script += " -d " + FishQuoted(option.description) + "\n";
        }
    }
    return script;
}

// --- zsh ---

std::string ZshQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The _arguments entries of a command's options, one a line, each ending in " \".
std::string ZshOptionSpecs(const CommandWords& command, const std::string& indent) {
    std::string specs;
    for (const OptionWords& option : command.options) {
        const std::string exclusive =
            option.names.size() > 1 ? "(" + Join(option.names, " ") + ")" : "";
        for (const std::string& name : option.names) {
            std::string spec = exclusive + name + "[" + Escaped(option.description, "[]") + "]";
            if (!option.valueName.empty()) {
                spec += ":" + option.valueName + ":" + (TakesFile(option) ? "_files" : " ");
            }
            specs += indent + ZshQuoted(spec) + " \\\n";
        }
    }
    return specs;
}

std::string Zsh(const std::vector<CommandWords>& commands) {
    std::string described;
    std::string arms;
    for (const CommandWords& command : commands) {
        if (command.name.empty()) {
            continue;
        }
        described += "            " + ZshQuoted(command.name + ":" + command.description) + "\n";
        const std::string inputs = command.encryptedInputs
                                       ? "*:INPUT:_files -g \"*.(#i)" + kEnding + "(-.)\""
                                       : "*:INPUT:_files";
        arms += "            " + command.name + ")\n                _arguments \\\n" +
                ZshOptionSpecs(command, "                    ") + "                    " +
                ZshQuoted(inputs) + " && ret=0 ;;\n";
    }
    return "#compdef vlt\n"
           "# zsh completion for vlt, generated from its command line.\n"
           "local curcontext=$curcontext state line ret=1\n"
           "_arguments -C \\\n" +
           ZshOptionSpecs(commands.front(), "    ") +
           "    '1:command:->command' \\\n"
           "    '*::argument:->argument' && ret=0\n"
           "case $state in\n"
           "    command)\n"
           "        local -a commands=(\n" +
           described +
           "        )\n"
           "        _describe -t commands command commands && ret=0 ;;\n"
           "    argument)\n"
           "        curcontext=${curcontext%:*:*}:vlt-$words[1]:\n"
           "        case $words[1] in\n" +
           arms +
           "        esac ;;\n"
           "esac\n"
           "return ret\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<CommandWords> commands = vlt::cli::CommandLineWords();
    const std::string_view shell = argc == 2 ? argv[1] : "";
    if (shell == "bash") {
        std::cout << Bash(commands);
    } else if (shell == "fish") {
        std::cout << Fish(commands);
    } else if (shell == "zsh") {
        std::cout << Zsh(commands);
    } else {
        std::cerr << "usage: vlt_shell_completion bash|fish|zsh\n";
        return 2;
    }
    return 0;
}
