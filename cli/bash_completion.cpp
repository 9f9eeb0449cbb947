// Writes vlt's bash completion to standard output. It is made from the words the
// parser defines, so that the completion cannot fall behind the command line.

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

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

// The options of a command whose value is a file name (FILE, PATH) or anything else.
std::vector<std::string> ValuedOptions(const std::vector<CommandWords>& commands, bool fileNames) {
    std::vector<std::string> names;
    for (const CommandWords& command : commands) {
        for (const OptionWords& option : command.options) {
            const bool isFile = option.valueName == "FILE" || option.valueName == "PATH";
            if (!option.valueName.empty() && isFile == fileNames) {
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

}  // namespace

int main() {
    const std::vector<CommandWords> commands = vlt::cli::CommandLineWords();
    std::vector<std::string> names;
    for (const CommandWords& command : commands) {
        if (!command.name.empty()) {
            names.push_back(command.name);
        }
    }
    std::cout << "# bash completion for vlt, generated from its command line.\n"
                 "_vlt() {\n"
                 "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
                 "    local command='' words='' encrypted='' i\n"
                 "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                 "        case ${COMP_WORDS[i]} in\n"
                 "            "
              << Join(names, " | ")
              << ") command=${COMP_WORDS[i]} && break ;;\n"
                 "        esac\n"
                 "    done\n"
                 "    case $command in\n"
              << CommandArms(commands, Join(names, " "))
              << "    esac\n"
                 "    case $prev in\n"
              << Arm(ValuedOptions(commands, true),
                     "\n"
                     "            compopt -o filenames 2>/dev/null\n"
                     "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
                     "            return ;;")
              << Arm(ValuedOptions(commands, false), " COMPREPLY=() && return ;;")
              << "    esac\n"
                 "    if [[ -z $command || $cur == -* ]]; then\n"
                 "        mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n"
                 "        return\n"
                 "    fi\n"
                 "    compopt -o filenames 2>/dev/null\n"
                 "    if [[ -n $encrypted ]]; then\n"
                 "        # Folders to go on with, and .vlt files in any case, as decrypt takes "
                 "them.\n"
                 "        mapfile -t COMPREPLY < <(compgen -d -- \"$cur\"\n"
                 "            compgen -f -X '!*.[vV][lL][tT]' -- \"$cur\")\n"
                 "    else\n"
                 "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
                 "    fi\n"
                 "}\n"
                 "complete -F _vlt vlt\n";
    return 0;
}
