#pragma once

// The scenario file: a script of commands, then the files the scenario starts
// with, each after a line "-- name --" (the txtar layout of Go's testscript).

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace scenario {

class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Command {
    int line = 0;                    // 1-based, for messages
    std::string text;                // as written
    bool negated = false;            // a leading "!"
    bool background = false;         // a trailing "&"
    std::string condition;           // from a leading "[unix]", "[!windows]"...: "unix", "!windows"
    std::vector<std::string> words;  // still to be expanded
};

struct Script {
    std::vector<Command> commands;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
};

Script ParseScript(const std::string& text);

// A word's text with $NAME and ${NAME} replaced from `variables`; text in
// single quotes stays as written ('' stands for one quote).
std::string Expand(const std::string& word, const std::map<std::string, std::string>& variables);

// \n, \r, \t, \\ and \xHH turned into their bytes.
std::string Unescape(const std::string& text);

}  // namespace scenario
